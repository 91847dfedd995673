#pragma once
// Works through the mailing-list folder: each message, oldest received first
// (then in arrival order), is read, recognised commands and failure notices are applied, and
// recognised messages leave the folder.
#include "intake/MessageCommands.h"
#include "platform/outlook/Automation.h"
#include "store/TableError.h"

#include <functional>
#include <vector>

class Prompts;

class FolderCheck
{
public:
    struct Progress
    {
        std::function<void(int)> setMaximum;
        std::function<void()> advance;
    };

    FolderCheck(const Settings &settings, const RuleLists &lists, EntryRules &rules, Prompts &prompts);

    // Failures of the mail client or the table end the check and are thrown;
    // what was handled before them stays handled. A message whose change
    // cannot be stored (the list file is read-only, busy or the disk full)
    // stays in the folder, and the TableError thrown names it.
    //
    // What a message changes is stored in one transaction together with the
    // message's identity (store/HandledMessages.h); a message met again
    // whose identity is recorded is only deleted, never applied twice. Its
    // log and error lines are held back until that transaction commits.
    void run(const Progress &progress);

    // Makes the application object; the local store's by default.
    void setApplicationFactory(std::function<platform::outlook::OleVariant()> factory);

private:
    struct Members;
    // The items' listed indices, oldest received first, ties in listed order.
    std::vector<int> receivedOrder(const platform::outlook::OleVariant &folder, int count, const Members &call) const;
    bool openFolder(const platform::outlook::OleVariant &root, platform::outlook::OleVariant &folder);
    HeldMessage readMessage(const platform::outlook::OleVariant &item, const Members &call) const;
    // The store's unique name of the item and its hashed identity; empty
    // when the mail client offers neither it nor a Message-ID.
    QByteArray identityOf(const platform::outlook::OleVariant &item, const Members &call, QString *uniqueName) const;
    bool alreadyHandled(const QByteArray &identity) const;
    // Applies the request and records the message, all or nothing.
    void applyRecorded(const HeldMessage &message, const MessageRequest &request, const QByteArray &identity);
    QString stoppedAt(const HeldMessage &message, const QString &uniqueName, const TableError &e) const;

    const Settings &m_settings;
    Prompts &m_prompts;
    EntryRules &m_rules;
    MessageCommands m_commands;
    std::function<platform::outlook::OleVariant()> m_factory;
};
