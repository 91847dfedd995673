#pragma once
// The one way addresses enter or leave the list, and the counting of
// delivery failures. Both report only through the log and the error list.
#include "store/TableError.h"

#include <QString>

#include <optional>

class LineList;
class MLTable;
struct RuleLists;
struct Settings;

// What one call did. Callers that only log may ignore it; the folder check
// needs it to tell a list file that could not be written from a rule's answer.
enum class EntryOutcome {
    Changed,   // the list changed
    Unchanged, // a rule's answer: already there, not found, invalid, blocked
    NotStored, // the list file could not be written: read-only, busy, disk full
};

class EntryRules
{
public:
    // Settings and lists are read live on every call. The log and the error
    // list learn from the table whether a folder-check message's change was
    // stored (LineList::setGroupCheck, store/HandledMessages.h).
    EntryRules(MLTable &table, const Settings &settings, const RuleLists &lists, LineList &log, LineList &errors);
    ~EntryRules();
    EntryRules(const EntryRules &) = delete;
    EntryRules &operator=(const EntryRules &) = delete;

    // A failed look-up (say, the table is closed) is logged with an empty
    // result and passed on as TableError.
    EntryOutcome insertentry(bool add, const QString &address, const QString &category, const QString &comment);
    // A failed look-up writes no log line and is passed on.
    EntryOutcome processbounce(const QString &address);

    // Why the last call that gave NotStored could not store its change.
    TableError lastStorageFailure() const;

    MLTable &table() const { return m_table; }
    LineList &log() const { return m_log; }
    LineList &errors() const { return m_errors; }

private:
    QString resolveCategory(bool add, QString category) const;
    QString add(const QString &address, const QString &category, const QString &comment);
    QString remove(const QString &address, const QString &category);

    MLTable &m_table;
    const Settings &m_settings;
    const RuleLists &m_lists;
    LineList &m_log;
    LineList &m_errors;
    std::optional<TableError> m_storageFailure;
};
