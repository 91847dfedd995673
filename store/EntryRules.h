#pragma once
// The one way addresses enter or leave the list, and the counting of
// delivery failures. Both report only through the log and the error list.
// A call made outside a folder-check message (which holds the lines of all
// its calls) holds its own lines back in a group of its own: the line of a
// change goes to the journal just before the commit, and the list file
// records the call's step in the same transaction (store/LoggedSteps.h), so
// a run that dies in between keeps the line exactly when the change stands.
#include "store/TableError.h"

#include <QByteArray>
#include <QString>

#include <optional>

class LineList;
class MLTable;
struct RuleLists;
struct Settings;

// What one call did. Callers that only log may ignore it; the folder check
// needs it to tell a list file that could not be written from a rule's answer.
enum class EntryOutcome {
    Changed, // the list changed
    Unchanged, // already there, or not found to remove or count
    Refused, // a rule refused the address: invalid, blocked
    NotStored, // the list file could not be written: read-only, busy, disk full
};

class EntryRules
{
public:
    // Settings and lists are read live on every call. The log and the error
    // list learn from the table whether a folder-check message's change was
    // stored (LineList::setGroupCheck, store/HandledMessages.h), and so
    // whether a call's step was (store/LoggedSteps.h).
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
    class CallLines;
    friend class EntryBatch;

    QString resolveCategory(bool add, QString category) const;
    // *commented: an existing entry's comment was changed.
    QString add(const QString &address, const QString &category, const QString &comment, bool *commented);
    QString remove(const QString &address, const QString &category);

    MLTable &m_table;
    const Settings &m_settings;
    const RuleLists &m_lists;
    LineList &m_log;
    LineList &m_errors;
    std::optional<TableError> m_storageFailure;
    // This run's identity and its last step, for the tags of calls' lines.
    QByteArray m_run;
    qint64 m_step = 0;
    // A call inside an open group (a batch's, a folder-check message's)
    // changed the list since the group began.
    bool m_groupWrote = false;
};
