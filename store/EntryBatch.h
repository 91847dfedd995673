#pragma once
// Many entry operations stored as one transaction: a large import commits
// once every few thousand lines instead of once a line. The lines the calls
// make for the log and the error list are held as one group, tagged with a
// step of the run (store/LoggedSteps.h) recorded with the batch's changes,
// so after a crash the log holds exactly the lines of the batches that
// stand. A batch that is undone takes its lines back, except the reports
// of failures, which are true either way.
#include "store/MLTable.h"

#include <QElapsedTimer>

#include <optional>

class EntryRules;

class EntryBatch
{
public:
    // A batch ends at this many calls, or sooner after Longest ms so that
    // another program waiting for the file is not kept out past its patience.
    static constexpr int Calls = 4000;
    static constexpr qint64 Longest = 250;
    // The write-ahead log may grow to this many pages (64 MB of 4 KB pages)
    // while batches follow one another: each batch rewrites most pages of a
    // large index, and copying them back into the file after every batch
    // cost more than the batch's own statements.
    static constexpr int CheckpointPages = 16384;
    // The list file's page cache during a run of batches, in KiB.
    static constexpr int CacheKiB = 32768;

    explicit EntryBatch(EntryRules &rules, int calls = Calls);
    // An open batch is undone; as close().
    ~EntryBatch();
    EntryBatch(const EntryBatch &) = delete;
    EntryBatch &operator=(const EntryBatch &) = delete;

    // Opens a batch unless one is open. Inside a folder-check message or a
    // transaction someone else holds, calls are stored as that one decides,
    // and no batch opens. Throws TableError.
    void begin();
    bool isOpen() const { return m_transaction.has_value(); }
    // Counts a call; true when the batch is full and should be committed.
    bool full();
    // False once the file itself undid the batch (disk full, I/O error):
    // it must not go on, since later calls would commit on their own.
    bool intact() const;
    // Stores the batch. On failure nothing of it is stored, its lines are
    // taken back, and TableError says why.
    void commit();
    // Undoes the batch and takes its lines back.
    void abandon();
    // Ends the run of batches: an open one is undone, and the log's pages
    // are copied back into the file now rather than by a later change.
    void close() noexcept;

private:
    void endLines(bool stored);

    EntryRules &m_rules;
    int m_limit;
    int m_calls = 0;
    QByteArray m_tag;
    QElapsedTimer m_clock;
    std::optional<MLTable::Transaction> m_transaction;
    // The cache size before the run, while its own settings hold.
    std::optional<int> m_cacheBefore;
};
