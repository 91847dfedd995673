#include "intake/MessageCommands.h"

#include "core/AsciiCase.h"
#include "core/RuleList.h"
#include "core/Settings.h"
#include "intake/DeliveryReport.h"
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

QStringList MessageCommands::memoLines(const QString &subject, const QString &body)
{
    QStringList lines{subject};
    if (body.isEmpty())
        return lines;
    lines += body.split(QStringLiteral("\r\n"));
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

std::optional<MessageRequest> MessageCommands::recogniseFailure(const HeldMessage &message) const
{
    const QString subject = upperAZ(message.Memo1.value(0));
    for (const QString &phrase : m_lists.failed.items()) {
        try {
            const QString upper = upperAZ(phrase);
            if (upper.isEmpty() || !subject.contains(upper))
                continue;
            MessageRequest request;
            request.failure = true;
            extractemailaddresses(message.Memo1, request.addresses, [this](const QString &candidate) {
                return validemailaddress(candidate, m_settings, m_lists);
            });
            if (m_settings.ReadDeliveryReports)
                request.addresses = distinctAddresses(request.addresses);
            return request;
        } catch (const std::exception &) {
            // A notice that cannot be handled under this phrase may be under the next.
        }
    }
    return std::nullopt;
}

std::optional<MessageRequest> MessageCommands::recogniseReport(const HeldMessage &message) const
{
    const DeliveryReport report = readDeliveryReport(message.deliveryStatus);
    if (!report.present)
        return std::nullopt;
    MessageRequest request;
    request.failure = !report.failed.isEmpty();
    for (const QString &address : distinctAddresses(report.failed)) {
        if (validemailaddress(address, m_settings, m_lists))
            request.addresses << address;
    }
    return request;
}

std::optional<MessageRequest> MessageCommands::recognise(HeldMessage &message) const
{
    if (m_settings.FailedMail) {
        // A report says which recipients failed; its subject and the rest of
        // its text (the sender, the reporting host, message-ids) say nothing.
        const std::optional<MessageRequest> report
            = m_settings.ReadDeliveryReports ? recogniseReport(message) : std::nullopt;
        if (report && report->failure)
            return report;
        if (!report) {
            if (auto request = recogniseFailure(message))
                return request;
        }
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
