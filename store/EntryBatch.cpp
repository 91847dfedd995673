#include "store/EntryBatch.h"

#include "core/LineList.h"
#include "store/EntryRules.h"
#include "store/LoggedSteps.h"
#include "store/SqliteDb.h"

EntryBatch::EntryBatch(EntryRules &rules, int calls)
    : m_rules(rules)
    , m_limit(qMax(1, calls))
{
}

EntryBatch::~EntryBatch()
{
    close();
}

void EntryBatch::close() noexcept
{
    abandon();
    if (m_cacheBefore && m_rules.table().active()) {
        SqliteDb &db = m_rules.table().connection();
        db.setCheckpointPages(SqliteDb::CheckpointPages);
        try {
            db.exec(QByteArray("PRAGMA cache_size=" + QByteArray::number(*m_cacheBefore)).constData());
        } catch (const TableError &) {
            // The larger cache stays until the list is closed.
        }
    }
    m_cacheBefore.reset();
}

void EntryBatch::begin()
{
    if (isOpen())
        return;
    MLTable &table = m_rules.table();
    // A read-only file stores nothing: each call reports its own failure.
    if (m_rules.log().inGroup() || m_rules.errors().inGroup() || table.readOnly()
        || !sqlite3_get_autocommit(table.connection().handle()))
        return;
    SqliteDb &db = table.connection();
    // A call that can change more than one entry is a savepoint in the
    // batch; its undo copies of pages would otherwise spill to a temporary
    // file and be written there for every later call.
    db.run(QByteArrayLiteral("PRAGMA temp_store=MEMORY"));
    if (!m_cacheBefore) {
        sqlite3_stmt *s = db.prepare(QByteArrayLiteral("PRAGMA cache_size"));
        Stmt guard(s);
        m_cacheBefore = db.step(s) == SQLITE_ROW ? sqlite3_column_int(s, 0) : -2000;
        db.setCheckpointPages(CheckpointPages);
        // The pages of a batch's look-ups and changes stay in memory rather
        // than being read again from the file after each commit.
        db.exec(QByteArray("PRAGMA cache_size=-" + QByteArray::number(CacheKiB)).constData());
    }
    m_transaction.emplace(table);
    m_tag = LoggedSteps::tag(m_rules.m_run, ++m_rules.m_step);
    m_rules.m_groupWrote = false;
    m_rules.log().beginGroup(m_tag);
    m_rules.errors().beginGroup(m_tag);
    m_calls = 0;
    m_clock.start();
}

bool EntryBatch::full()
{
    // The clock is read once in 32 calls: a call takes some microseconds.
    return isOpen() && (++m_calls >= m_limit || ((m_calls & 31) == 0 && m_clock.hasExpired(Longest)));
}

bool EntryBatch::intact() const
{
    if (!isOpen())
        return true;
    const MLTable &table = m_rules.table();
    return table.active() && !sqlite3_get_autocommit(table.connection().handle());
}

void EntryBatch::commit()
{
    if (!isOpen())
        return;
    try {
        // A commit that stored nothing needs no record: its lines stand.
        if (m_rules.m_groupWrote) {
            LoggedSteps(m_rules.table()).record(m_tag);
            m_rules.log().prepareGroup();
            m_rules.errors().prepareGroup();
        }
        if (!intact())
            throw TableError(QStringLiteral("The changes were undone by the list file before they were stored."));
        m_transaction->commit();
    } catch (const TableError &) {
        m_transaction.reset();
        endLines(false);
        throw;
    }
    m_transaction.reset();
    endLines(true);
}

void EntryBatch::abandon()
{
    if (!isOpen())
        return;
    m_transaction.reset();
    endLines(false);
}

void EntryBatch::endLines(bool stored)
{
    if (m_rules.table().active())
        m_rules.table().connection().runQuietly(QByteArrayLiteral("PRAGMA temp_store=DEFAULT"));
    m_rules.log().endGroup(stored);
    m_rules.errors().endGroup(stored);
}
