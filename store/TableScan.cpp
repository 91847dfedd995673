#include "store/MLTable.h"

#include "store/SqliteDb.h"
#include "store/ViewQuery.h"

MLTable::Scan::Scan(const MLTable &table)
    : m_table(table)
    , m_db(table.m_db.get())
    , m_opening(table.m_openings)
{
    table.requireOpen();
    // One read transaction, so the total and every row see the same list
    // while other processes write.
    if (sqlite3_get_autocommit(m_db->handle())) {
        m_db->exec("BEGIN");
        m_ownTransaction = true;
    }
    try {
        sqlite3_stmt *s = m_db->prepare("SELECT count(*) FROM mailist");
        Stmt guard(s);
        m_db->step(s);
        m_total = sqlite3_column_int64(s, 0);
        start(nullptr);
    } catch (...) {
        finish();
        throw;
    }
}

MLTable::Scan::~Scan()
{
    finish();
}

// A statement of its own, not one of the table's cached ones: a scan may
// outlive the table's open connection, and scans may nest.
void MLTable::Scan::finish()
{
    sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
    if (m_ownTransaction && sameConnection() && !sqlite3_get_autocommit(m_db->handle()))
        sqlite3_exec(m_db->handle(), "COMMIT", nullptr, nullptr, nullptr);
    m_ownTransaction = false;
}

bool MLTable::Scan::sameConnection() const
{
    return m_table.m_db && m_table.m_openings == m_opening;
}

void MLTable::Scan::start(const Entry *after)
{
    const SqlQuery q = m_table.viewQuery(after, false, 0, 0, false);
    sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
    const int rc = sqlite3_prepare_v2(m_db->handle(), q.sql.constData(), int(q.sql.size()), &m_stmt, nullptr);
    if (rc != SQLITE_OK)
        throw TableError(sqliteMessage(m_db->handle(), rc), rc);
    bindAll(m_stmt, q.binds);
}

// After a failed step: the last record read is looked up again by its row
// id, and the scan goes on after its key in the view's order.
void MLTable::Scan::resume()
{
    sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
    // Some failures roll the transaction back.
    if (m_ownTransaction && sqlite3_get_autocommit(m_db->handle()))
        m_db->exec("BEGIN");
    if (m_lastRowid == 0) {
        start(nullptr);
        return;
    }
    static const QByteArray sql = QByteArray("SELECT ") + EntryColumns + " FROM mailist WHERE rowid = ?1";
    sqlite3_stmt *s = m_db->prepare(sql);
    Entry key;
    {
        Stmt guard(s);
        sqlite3_bind_int64(s, 1, m_lastRowid);
        if (m_db->step(s) != SQLITE_ROW)
            throw TableError(QStringLiteral("The record has been deleted by another user."));
        key = readEntry(s);
    }
    start(&key);
}

bool MLTable::Scan::next()
{
    if (!sameConnection())
        throw TableError(QStringLiteral("The mailing-list table was closed during the scan."));
    if (m_done)
        return false;
    if (m_failed) {
        resume();
        m_failed = false;
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        m_lastRowid = sqlite3_column_int64(m_stmt, 0);
        return true;
    }
    if (rc == SQLITE_DONE) {
        // A further step would start the statement again from the top.
        m_done = true;
        return false;
    }
    m_failed = true;
    throw TableError(sqliteMessage(m_db->handle(), rc), rc);
}

QByteArrayView MLTable::Scan::item() const
{
    return columnBytes(m_stmt, 1);
}

QByteArrayView MLTable::Scan::category() const
{
    return columnBytes(m_stmt, 2);
}

qint32 MLTable::Scan::bounces() const
{
    return sqlite3_column_int(m_stmt, 3);
}

QByteArrayView MLTable::Scan::comments() const
{
    return columnBytes(m_stmt, 4);
}
