#pragma once
// Works through the mailing-list folder: each message from the last to the
// first is read, recognised commands and failure notices are applied, and
// recognised messages leave the folder.
#include "intake/MessageCommands.h"
#include "platform/outlook/Automation.h"

#include <functional>

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
    // what was handled before them stays handled.
    void run(const Progress &progress);

    // Makes the application object; the local store's by default.
    void setApplicationFactory(std::function<platform::outlook::OleVariant()> factory);

private:
    bool openFolder(const platform::outlook::OleVariant &root, platform::outlook::OleVariant &folder);
    HeldMessage readMessage(const platform::outlook::OleVariant &folder, int index) const;

    const Settings &m_settings;
    Prompts &m_prompts;
    MessageCommands m_commands;
    std::function<platform::outlook::OleVariant()> m_factory;
};
