#include "intake/MessageCommands.h"

#include "intake/StrToStringlist.h"
#include "intake/extractemailaddresses.h"
#include "core/AsciiCase.h"
#include "core/RuleList.h"
#include "core/Settings.h"
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

bool MessageCommands::processFailure(const HeldMessage &message)
{
    const QString subject = upperAZ(message.Memo1.value(0));
    for (const QString &phrase : m_lists.failed.items()) {
        try {
            const QString upper = upperAZ(phrase);
            if (upper.isEmpty() || !subject.contains(upper))
                continue;
            QStringList addresses;
            extractemailaddresses(message.Memo1, addresses, [this](const QString &candidate) {
                return validemailaddress(candidate, m_settings, m_lists);
            });
            for (const QString &address : std::as_const(addresses))
                m_rules.processbounce(address);
            return true;
        } catch (const std::exception &) {
            // A notice that cannot be handled under this phrase may be under the next.
        }
    }
    return false;
}

bool MessageCommands::processEntry(HeldMessage &message)
{
    if (m_settings.FailedMail && processFailure(message))
        return true;
    const qsizetype lines = m_settings.ScanAllEmailLines ? message.Memo1.size() : std::min<qsizetype>(2, message.Memo1.size());
    for (qsizetype i = 0; i < lines; ++i) {
        if (!parsecommandline(message.Memo1.at(i), message))
            continue;
        const QString comment = QStringLiteral("Changed enacted by e-mail sent ") + message.edtdate
            + QStringLiteral(" by ") + message.edtsender;
        m_rules.insertentry(message.chkdoadd, message.edtemail, message.edtcategory, comment);
        return true;
    }
    return false;
}
