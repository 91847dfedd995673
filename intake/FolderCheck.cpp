#include "intake/FolderCheck.h"

#include "core/Prompts.h"
#include "core/Settings.h"
#include "core/SettingsStore.h"

using platform::outlook::AutomationError;
using platform::outlook::OleVariant;

FolderCheck::FolderCheck(const Settings &settings, const RuleLists &lists, EntryRules &rules, Prompts &prompts)
    : m_settings(settings)
    , m_prompts(prompts)
    , m_commands(settings, lists, rules)
    , m_factory([] { return platform::outlook::CreateOleObject(QStringLiteral("Outlook.Application")); })
{
}

void FolderCheck::setApplicationFactory(std::function<OleVariant()> factory)
{
    m_factory = std::move(factory);
}

bool FolderCheck::openFolder(const OleVariant &root, OleVariant &folder)
{
    const QString name = m_settings.MailingListGroup;
    try {
        folder = root.call(QStringLiteral("Folders"), {name});
        return true;
    } catch (const std::exception &) {
        // Not there (or not readable): offer to create it.
    }
    if (m_prompts.confirm(QStringLiteral("The folder, ") + name
                          + QStringLiteral(", cannot be found.  Would you like to create it?"))
        != Prompts::Answer::Yes)
        return false;
    try {
        root.call(QStringLiteral("Folders")).call(QStringLiteral("add"), {name});
        folder = root.call(QStringLiteral("Folders"), {name});
        return true;
    } catch (const std::exception &e) {
        m_prompts.warning(QStringLiteral("The folder, ") + name + QStringLiteral(", could not be created: ")
                          + QString::fromUtf8(e.what()));
        return false;
    }
}

HeldMessage FolderCheck::readMessage(const OleVariant &folder, int index) const
{
    auto item = [&] { return folder.call(QStringLiteral("Items"), {index}); };
    HeldMessage m;
    m.Memo1 = MessageCommands::memoLines(item().call(QStringLiteral("subject")).toText(),
                                         item().call(QStringLiteral("body")).toText());
    const QDateTime sent = item().call(QStringLiteral("senton")).toDateTime();
    m.edtdate = sent.isValid() ? getdatetimestring(sent) : QString();
    const OleVariant reply = item().call(QStringLiteral("Reply"));
    try {
        const OleVariant recipient = reply.call(QStringLiteral("Recipients"), {1});
        m.edtsender = recipient.call(QStringLiteral("Address")).toText();
        if (m.edtsender.isEmpty()) {
            const QString name = recipient.call(QStringLiteral("Name")).toText();
            if (name.contains(QLatin1Char('@')))
                m.edtsender = name;
        }
    } catch (const AutomationError &) {
        m.edtsender.clear();
    }
    m.edtemail = m_settings.allowfromaddressasentry ? m.edtsender : QString();
    return m;
}

void FolderCheck::run(const Progress &progress)
{
    const OleVariant application = m_factory();
    const OleVariant nameSpace = application.call(QStringLiteral("GetNameSpace"), {QStringLiteral("MAPI")});
    const OleVariant root = nameSpace.call(QStringLiteral("Folders"), {QStringLiteral("Personal Folders")});
    OleVariant folder;
    if (!openFolder(root, folder))
        return;
    const int count = folder.call(QStringLiteral("Items")).call(QStringLiteral("Count")).toInt();
    if (progress.setMaximum)
        progress.setMaximum(count);
    for (int i = count; i >= 1; --i) {
        if (progress.advance)
            progress.advance();
        HeldMessage message = readMessage(folder, i);
        if (m_commands.processEntry(message))
            folder.call(QStringLiteral("Items"), {i}).call(QStringLiteral("delete"));
    }
}
