#include "intake/FailureNotice.h"

#include "core/AsciiCase.h"
#include "intake/DeliveryReport.h"
#include "intake/FailedRecipients.h"
#include "intake/HeaderFields.h"
#include "intake/PhraseSet.h"

#include <QRegularExpression>
#include <QSet>

namespace {

bool isMailSystemAddress(const QString &address)
{
    const QString local = lowerAZ(address.left(address.indexOf(QLatin1Char('@'))));
    return local == QLatin1String("mailer-daemon") || local == QLatin1String("mailer_daemon")
           || local == QLatin1String("postmaster") || local == QLatin1String("mdaemon")
           || local == QLatin1String("mail-daemon") || local == QLatin1String("mailerdaemon");
}

// A sender a mail system writes as: its address or its display name.
bool fromMailSystem(const HeaderFields &headers)
{
    const QString type = lowerText(headers.value(QLatin1StringView("content-type")));
    if (type.contains(QLatin1String("multipart/report")) && type.contains(QLatin1String("delivery-status")))
        return true;
    static const PhraseSet names{u"mailer-daemon", u"mail delivery", u"delivery subsystem", u"delivery system"};
    for (const char *name : {"from", "sender", "return-path"}) {
        const QString value = headers.value(QLatin1StringView(name));
        if (value.isEmpty())
            continue;
        if (names.foundIn(lowerText(value)))
            return true;
        for (const QString &address : fieldAddresses(value)) {
            if (isMailSystemAddress(address))
                return true;
        }
    }
    return false;
}

bool autoSubmittedFailure(const HeaderFields &headers)
{
    const QString value = lowerText(headers.value(QLatin1StringView("auto-submitted")));
    return !value.isEmpty()
           && (value.contains(QLatin1String("fail")) || value.contains(QLatin1String("bounce"))
               || value.contains(QLatin1String("undeliver")) || value.contains(QLatin1String("dsn")));
}

bool isAutoReply(const HeaderFields &headers, const QString &subject)
{
    const QString submitted = lowerText(headers.value(QLatin1StringView("auto-submitted")));
    if (submitted.startsWith(QLatin1String("auto-replied")) || headers.has(QLatin1StringView("x-autoreply"))
        || headers.has(QLatin1StringView("x-autorespond")))
        return true;
    const QString precedence = lowerText(headers.value(QLatin1StringView("precedence")));
    if (precedence == QLatin1String("auto_reply"))
        return true;
    static const char16_t *const subjects[] = {
        u"auto:",
        u"automatic reply",
        u"autoreply",
        u"auto-reply",
        u"auto reply",
        u"out of office",
        u"out of the office",
        u"abwesenheitsnotiz",
        u"réponse automatique",
        u"respuesta automática",
        u"risposta automatica",
        u"vacation",
    };
    const QString lower = lowerText(subject.trimmed());
    for (const char16_t *start : subjects) {
        if (lower.startsWith(QStringView(start)))
            return true;
    }
    return false;
}

// Subjects mail systems give their notices, beside the user's phrases.
bool failureSubject(const QString &subject)
{
    static const PhraseSet subjects{
        u"undeliverable",
        u"undelivered mail",
        u"non remis",
        u"unzustellbar",
        u"delivery status notification (failure)",
        u"returned mail",
        u"failure notice",
        u"delivery failure",
        u"mail delivery failed",
        u"недоставлен",
        u"не доставлен",
        u"non-delivery",
        u"配信エラー",
        u"不達",
        u"no se puede entregar",
        u"non recapitabile",
    };
    return subjects.foundIn(lowerText(subject));
}

// A group's notice names the group, not its address: of the returned
// message's recipients, the one of that name.
QStringList onlyTheGroup(const QStringList &lines, const QStringList &recipients)
{
    static const QRegularExpression group(QStringLiteral(R"(group you tried to contact \(([^)\s]+)\))"),
                                          QRegularExpression::CaseInsensitiveOption);
    for (const QString &line : lines) {
        const auto m = group.match(line);
        if (!m.hasMatch())
            continue;
        const QString name = lowerAZ(m.captured(1));
        for (const QString &address : recipients) {
            if (address == name || address.startsWith(name + QLatin1Char('@')))
                return {address};
        }
    }
    return recipients;
}

// A read or display receipt (RFC 8098) is no failure, whoever sends it.
bool isReceipt(const HeaderFields &headers)
{
    return lowerText(headers.value(QLatin1StringView("content-type")))
        .contains(QLatin1String("disposition-notification"));
}

bool isComplaint(const HeaderFields &headers)
{
    const QString type = lowerText(headers.value(QLatin1StringView("content-type")));
    return type.contains(QLatin1String("multipart/report")) && type.contains(QLatin1String("feedback-report"));
}

// The field of a feedback report naming the recipient who complained.
QString complainant(const QString &statusText)
{
    const HeaderFields fields(statusText);
    const QStringList found = fieldAddresses(fields.value(QLatin1StringView("original-rcpt-to")));
    return found.value(0);
}

// Never counted: the notice's own parties, the returned message's sender
// side and the message-ids, the owner.
QSet<QString> bystandersOf(const HeaderFields &headers, const HeaderFields &returned, const QStringList &own)
{
    QSet<QString> bystanders(own.cbegin(), own.cend());
    for (const char *name : {"from", "to", "cc", "return-path", "sender", "reply-to", "message-id", "in-reply-to",
                             "references", "errors-to"}) {
        headers.forEachValue(QLatin1StringView(name), [&](QStringView value) {
            for (const QString &address : fieldAddresses(value))
                bystanders.insert(address);
        });
    }
    // A returned message's sender side, unless it also went to that address.
    QSet<QString> returnedTo;
    for (const char *name : {"to", "cc"}) {
        returned.forEachValue(QLatin1StringView(name), [&](QStringView value) {
            for (const QString &address : fieldAddresses(value))
                returnedTo.insert(address);
        });
    }
    for (const char *name :
         {"from", "return-path", "sender", "reply-to", "message-id", "in-reply-to", "references", "errors-to"}) {
        returned.forEachValue(QLatin1StringView(name), [&](QStringView value) {
            for (const QString &address : fieldAddresses(value)) {
                if (!returnedTo.contains(address))
                    bystanders.insert(address);
            }
        });
    }
    // A list's own address is where the returned message went, not who failed.
    for (const char *name : {"list-post", "list-unsubscribe", "list-help", "list-subscribe", "list-owner"}) {
        returned.forEachValue(QLatin1StringView(name), [&](QStringView value) {
            for (const QString &address : fieldAddresses(value))
                bystanders.insert(address.section(QLatin1Char('?'), 0, 0));
        });
    }
    return bystanders;
}

} // namespace

FailureNotice::FailureNotice(const QStringList &ownAddresses)
{
    for (const QString &address : ownAddresses) {
        for (const QString &bare : fieldAddresses(address))
            m_own << bare;
    }
}

QString FailureNotice::recipientOfReturnAddress(const QString &address) const
{
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    if (at <= 0)
        return {};
    const QString local = address.left(at);
    const QString domain = lowerAZ(address.mid(at + 1));
    for (const QString &own : m_own) {
        const qsizetype ownAt = own.lastIndexOf(QLatin1Char('@'));
        if (ownAt <= 0 || own.mid(ownAt + 1) != domain)
            continue;
        const QString prefix = own.left(ownAt) + QLatin1Char('+');
        if (!lowerAZ(local).startsWith(prefix))
            continue;
        const QString encoded = local.mid(prefix.size());
        const qsizetype equals = encoded.lastIndexOf(QLatin1Char('='));
        if (equals <= 0 || equals == encoded.size() - 1)
            continue;
        return encoded.left(equals) + QLatin1Char('@') + encoded.mid(equals + 1);
    }
    return {};
}

Notice FailureNotice::read(const NoticeInput &input) const
{
    const HeaderFields headers(input.headers);
    const NoticeText text(input.lines);
    Notice notice;
    if (isComplaint(headers)) {
        const HeaderFields returned(input.returnedHeaders);
        notice.kind = Notice::Kind::Complaint;
        const QString who = complainant(input.deliveryStatus);
        if (!who.isEmpty())
            notice.addresses << who;
        else
            notice.addresses = returnedRecipients(returned, text, [](const QString &) { return true; }).mid(0, 1);
        return notice;
    }

    const DeliveryReport report
        = input.deliveryStatus.isEmpty() ? DeliveryReport() : readDeliveryReport(input.deliveryStatus);
    const QStringList failedHeader
        = fieldAddresses(headers.values(QLatin1StringView("x-failed-recipients")).join(u','));
    const bool systemSender = fromMailSystem(headers) || !failedHeader.isEmpty() || autoSubmittedFailure(headers);
    const bool nullPath = fieldAddresses(headers.value(QLatin1StringView("return-path"))) == QStringList{QString()};
    const bool failurePhrase = input.failurePhrase || failureSubject(input.subject);

    // Only a null return path says a mail system sent it: such a notice
    // counts what its text names, but is not reported when it names no one.
    bool weakSign = false;
    if (report.failed.isEmpty() && failedHeader.isEmpty()) {
        if (!systemSender && isAutoReply(headers, input.subject))
            return {Notice::Kind::AutoReply, {}};
        if (!systemSender && !nullPath && !failurePhrase && !report.present)
            return notice;
        if ((isReceipt(headers) && !systemSender) || (report.present && report.delivered && !report.delayed))
            return notice; // delivered, read or displayed: nothing failed
        if ((report.present && report.delayed) || saysDelayed(input.subject, text))
            return {Notice::Kind::Delay, {}};
        weakSign = !systemSender && !failurePhrase && !report.present;
    }
    notice.kind = Notice::Kind::Failure;
    // Read only now: most messages are no notice and leave above.
    const HeaderFields returned(input.returnedHeaders);
    const QSet<QString> bystanders = bystandersOf(headers, returned, m_own);
    const RecipientTest keep = [&bystanders](const QString &address) {
        return !address.isEmpty() && !bystanders.contains(lowerAZ(address)) && !isMailSystemAddress(address);
    };
    QStringList reported;
    for (const QString &address : distinctAddresses(report.failed)) {
        if (keep(address))
            reported << address;
    }

    for (const char *name : {"to", "delivered-to", "x-original-to"}) {
        for (const QString &value : headers.values(QLatin1StringView(name))) {
            for (const QString &address : fieldAddresses(value)) {
                const QString recipient = recipientOfReturnAddress(address);
                if (!recipient.isEmpty()) {
                    notice.addresses << recipient;
                    return notice;
                }
            }
        }
    }
    if (!reported.isEmpty()) {
        notice.addresses = reported;
        return notice;
    }
    for (const QString &address : failedHeader) {
        if (keep(address) && !notice.addresses.contains(address))
            notice.addresses << address;
    }
    if (notice.addresses.isEmpty())
        notice.addresses = failedRecipients(text, keep);
    // The text part some systems put where the report's fields belong.
    if (notice.addresses.isEmpty() && !report.present && !input.deliveryStatus.isEmpty())
        notice.addresses = failedRecipients(NoticeText(input.deliveryStatus.split(QLatin1Char('\n'))), keep);
    if (notice.addresses.isEmpty())
        notice.addresses = onlyTheGroup(input.lines, returnedRecipients(returned, text, keep));
    if (notice.addresses.isEmpty() && weakSign)
        notice.kind = Notice::Kind::None;
    return notice;
}
