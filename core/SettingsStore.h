#pragma once
// Reads and writes the settings (registry key) and the six rule lists (text
// files in the program directory), reporting failures through Prompts.
#include "core/DateTimeText.h" // getdatetimestring was declared here before
#include "core/RuleList.h"
#include "core/Settings.h"

#include <QString>

class Prompts;

class SettingsStore
{
public:
    SettingsStore(QString programDir, Prompts &prompts);

    // Lists first, then the registry values; a value that cannot be read
    // leaves it and the values after it as they were.
    void Loadentries(Settings &settings, RuleLists &lists);
    // Lists first, then the registry values in the key table's order.
    void SaveEntries(const Settings &settings, const RuleLists &lists);

    static const QString registryKey; // "SOFTWARE\\Varnel\\Quillmar" under HKEY_LOCAL_MACHINE

private:
    QString m_programDir;
    Prompts &m_prompts;
};
