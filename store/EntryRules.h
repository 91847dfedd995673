#pragma once
// The one way addresses enter or leave the list, and the counting of
// delivery failures. Both report only through the log and the error list.
#include <QString>

class LineList;
class MLTable;
struct RuleLists;
struct Settings;

class EntryRules
{
public:
    // Settings and lists are read live on every call.
    EntryRules(MLTable &table, const Settings &settings, const RuleLists &lists, LineList &log, LineList &errors);

    // A failed look-up (say, the table is closed) is logged with an empty
    // result and passed on as TableError.
    void insertentry(bool add, const QString &address, const QString &category, const QString &comment);
    // A failed look-up writes no log line and is passed on.
    void processbounce(const QString &address);

private:
    QString resolveCategory(bool add, QString category) const;
    QString add(const QString &address, const QString &category, const QString &comment);
    QString remove(const QString &address, const QString &category);

    MLTable &m_table;
    const Settings &m_settings;
    const RuleLists &m_lists;
    LineList &m_log;
    LineList &m_errors;
};
