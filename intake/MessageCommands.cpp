#include "intake/MessageCommands.h"

#include "core/AsciiCase.h"
#include "core/LineList.h"
#include "core/RuleList.h"
#include "core/Settings.h"
#include "intake/DeliveryReport.h"
#include "intake/FailureNotice.h"
#include "intake/HarvestRules.h"
#include "intake/PhraseSet.h"
#include "intake/StrToStringlist.h"
#include "intake/extractemailaddresses.h"
#include "store/EntryRules.h"
#include "store/Validation.h"

#include <exception>

MessageCommands::MessageCommands(const Settings &settings, const RuleLists &lists, EntryRules &rules)
    : m_settings(settings)
    , m_lists(lists)
    , m_rules(rules)
{
}

MessageCommands::~MessageCommands() = default;

QStringList MessageCommands::memoLines(const QString &subject, const QString &body)
{
    QStringList lines{subject};
    if (body.isEmpty())
        return lines;
    // Split by hand: QString::split searches for the pair a character at a
    // time, where a search for LF alone goes a block at a time.
    const QStringView text(body);
    qsizetype start = 0;
    for (qsizetype at = text.indexOf(QLatin1Char('\n')); at >= 0; at = text.indexOf(QLatin1Char('\n'), at + 1)) {
        if (at > start && text.at(at - 1) == QLatin1Char('\r')) {
            lines << text.sliced(start, at - 1 - start).toString();
            start = at + 1;
        }
    }
    lines << text.sliced(start).toString();
    // A final line break ends the last line; it does not start an empty one.
    if (body.endsWith(QStringLiteral("\r\n")))
        lines.removeLast();
    return lines;
}

bool MessageCommands::parsecommandline(const QString &line, HeldMessage &message) const
{
    QStringList tokens;
    StrToStringlist(tokens, line, QStringLiteral(" "));
    if (tokens.isEmpty())
        return false;
    const QString word = upperAZ(tokens.takeFirst());
    if (m_lists.remstr.contains(word))
        message.chkdoadd = false;
    else if (m_lists.addstr.contains(word))
        message.chkdoadd = true;
    else
        return false;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        if (tokens.at(i).contains(QLatin1Char('@'))) {
            message.edtemail = tokens.takeAt(i);
            break;
        }
    }
    message.edtcategory = tokens.isEmpty() ? m_settings.defaultcategory : tokens.first();
    return true;
}

const QStringList &MessageCommands::failurePhrases() const
{
    // Compared as lists, the rule list's items are the same data until it
    // is changed: the upper-cased copy is made once per change, not per message.
    const QStringList &items = m_lists.failed.items();
    if (items != m_failedItems) {
        m_failedItems = items;
        m_failedUpper.clear();
        for (const QString &phrase : items)
            m_failedUpper << upperAZ(phrase);
        m_failedSet = std::make_unique<PhraseSet>(m_failedUpper);
    }
    return m_failedUpper;
}

bool MessageCommands::subjectNamesFailure(const QString &text) const
{
    failurePhrases();
    return m_failedSet && m_failedSet->foundIn(upperAZ(text));
}

std::optional<MessageRequest> MessageCommands::recogniseNotice(const HeldMessage &message, bool *settled) const
{
    if (!m_notices) {
        QStringList own = HarvestRules::ownAddresses(m_settings);
        own << m_settings.SmtpSender;
        m_notices = std::make_unique<FailureNotice>(own);
    }
    NoticeInput input;
    input.subject = message.Memo1.value(0);
    input.lines = message.Memo1.mid(1);
    input.headers = message.headers;
    input.deliveryStatus = message.deliveryStatus;
    input.returnedHeaders = message.returnedHeaders;
    input.failurePhrase = subjectNamesFailure(input.subject);
    const Notice notice = m_notices->read(input);
    *settled = notice.kind == Notice::Kind::Delay || notice.kind == Notice::Kind::Complaint
               || notice.kind == Notice::Kind::Failure;
    if (!*settled || notice.kind == Notice::Kind::Delay)
        return std::nullopt; // a delay warning stays until its failure or delivery is known
    const bool complaint = notice.kind == Notice::Kind::Complaint;
    if (complaint && !m_settings.RemoveComplainers)
        return std::nullopt;
    MessageRequest request;
    request.failure = !complaint;
    request.complaint = complaint;
    for (const QString &address : notice.addresses) {
        if (validemailaddress(address, m_settings, m_lists))
            request.addresses << address;
    }
    if (request.addresses.isEmpty()) {
        // Left for the owner to read: counting a guess would count a bystander.
        const QString line = (complaint ? QStringLiteral("Spam complaint: no complaining recipient found in '%1'")
                                        : QStringLiteral("Delivery failure: no failed address found in '%1'"))
                                 .arg(input.subject);
        if (!m_rules.errors().lines().contains(line))
            m_rules.errors().append(line, LineList::Keep::Always);
        return std::nullopt;
    }
    if (complaint)
        request.comment = QStringLiteral("Reported the list's mail as spam, ") + message.edtdate;
    return request;
}

std::optional<MessageRequest> MessageCommands::recogniseFailure(const HeldMessage &message) const
{
    const QString subject = upperAZ(message.Memo1.value(0));
    for (const QString &upper : failurePhrases()) {
        try {
            if (upper.isEmpty() || !subject.contains(upper))
                continue;
            MessageRequest request;
            request.failure = true;
            extractemailaddresses(message.Memo1, request.addresses, [this](const QString &candidate) {
                return validemailaddress(candidate, m_settings, m_lists);
            });
            return request;
        } catch (const std::exception &) {
            // A notice that cannot be handled under this phrase may be under the next.
        }
    }
    return std::nullopt;
}

std::optional<MessageRequest> MessageCommands::recognise(HeldMessage &message) const
{
    if (m_settings.FailedMail && m_settings.ReadDeliveryReports) {
        bool settled = false;
        if (auto request = recogniseNotice(message, &settled))
            return request;
        if (settled)
            return std::nullopt;
    } else if (m_settings.FailedMail) {
        if (auto request = recogniseFailure(message))
            return request;
    }
    const qsizetype lines
        = m_settings.ScanAllEmailLines ? message.Memo1.size() : std::min<qsizetype>(2, message.Memo1.size());
    for (qsizetype i = 0; i < lines; ++i) {
        if (!parsecommandline(message.Memo1.at(i), message))
            continue;
        MessageRequest request;
        request.comment = QStringLiteral("Changed enacted by e-mail sent ") + message.edtdate + QStringLiteral(" by ")
                          + message.edtsender;
        return request;
    }
    return std::nullopt;
}

bool MessageCommands::apply(const HeldMessage &message, const MessageRequest &request)
{
    // The result of a call does not change the outcome, except that a change
    // that could not be stored ends the work on this message; a rule's answer
    // (invalid, blocked, not found) is no failure.
    bool changed = false;
    auto take = [&](EntryOutcome outcome) {
        if (outcome == EntryOutcome::NotStored)
            throw m_rules.lastStorageFailure();
        changed = changed || outcome == EntryOutcome::Changed;
    };
    if (request.failure) {
        for (const QString &address : request.addresses)
            take(m_rules.processbounce(address));
    } else if (request.complaint) {
        for (const QString &address : request.addresses)
            take(m_rules.insertentry(false, address, QString(), request.comment));
    } else {
        take(m_rules.insertentry(message.chkdoadd, message.edtemail, message.edtcategory, request.comment));
    }
    return changed;
}

bool MessageCommands::processEntry(HeldMessage &message)
{
    const std::optional<MessageRequest> request = recognise(message);
    if (!request)
        return false;
    apply(message, *request);
    return true;
}
