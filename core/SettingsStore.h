#pragma once
// Reads and writes the settings (registry key) and the six rule lists (text
// files in the program directory), reporting failures through Prompts.
#include "core/RuleList.h"
#include "core/Settings.h"

#include <QString>

class Prompts;
class QDateTime;

class SettingsStore
{
public:
    SettingsStore(QString programDir, Prompts &prompts);

    // Lists first, then the registry values; a value that cannot be read
    // leaves it and the values after it as they were.
    void Loadentries(Settings &settings, RuleLists &lists);
    // Lists first, then the fifteen registry values in their fixed order.
    void SaveEntries(const Settings &settings, const RuleLists &lists);

    static const QString registryKey; // "SOFTWARE\\Varnel\\Quillmar" under HKEY_LOCAL_MACHINE

private:
    QString m_programDir;
    Prompts &m_prompts;
};

// The current local date and time as the user's short date and long time;
// the time is left out at exactly midnight.
QString getdatetimestring();
// The same for a given moment, so tests need not depend on the clock.
QString getdatetimestring(const QDateTime &now);
