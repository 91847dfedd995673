#pragma once
// The record of the entry operations whose log lines go to the journal
// before their change is committed (store/EntryRules.h): a table of its own
// in the list file, beside `mailist`, holding the number of each run's last
// stored step, written in the same transaction as the step's change. After
// a run that died between the journal and the end of the commit, it tells
// whether the step's lines stand (LineList::groupStored). The record keeps
// the last Runs runs; a run's own row is all it needs.
#include <QByteArray>

class MLTable;

class LoggedSteps
{
public:
    static constexpr qint64 Runs = 100;
    static constexpr const char *TableName = "LoggedSteps";

    // A new run's identity: random, 8 bytes.
    static QByteArray newRun();
    // The tag of a run's step, as the group of its log lines carries it.
    static QByteArray tag(const QByteArray &run, qint64 step);
    // Whether a group's tag is a step's (else it is a folder-check message's).
    static bool isTag(const QByteArray &tag);

    explicit LoggedSteps(MLTable &table);

    // Whether the step was stored; a file without the record's table has
    // none. Throws TableError.
    bool contains(const QByteArray &tag) const;
    // Records the step inside the transaction the caller holds open on the
    // table (MLTable::Transaction), making the record's table if missing.
    // Throws TableError, also when no transaction is open any more.
    void record(const QByteArray &tag);

private:
    MLTable &m_table;
};
