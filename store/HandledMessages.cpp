#include "store/HandledMessages.h"

#include "store/MLTable.h"
#include "store/SqliteDb.h"

#include <QCryptographicHash>
#include <QDateTime>

namespace {

const char *const CreateSql = "CREATE TABLE IF NOT EXISTS HandledMessages ("
                              " Identity BLOB NOT NULL PRIMARY KEY,"
                              " HandledAt INTEGER NOT NULL)";

bool tableExists(SqliteDb &db)
{
    sqlite3_stmt *s = db.prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'HandledMessages'");
    Stmt guard(s);
    return db.step(s) == SQLITE_ROW;
}

// The list file's opening makes the table, so its statements prepare at
// once (and stay prepared); only a file that could not be written then is
// asked whether it has one.
sqlite3_stmt *prepared(SqliteDb &db, const char *sql, bool create)
{
    try {
        return db.prepare(sql);
    } catch (const TableError &) {
        if (tableExists(db))
            throw;
        if (!create)
            return nullptr;
        db.exec(CreateSql);
        return db.prepare(sql);
    }
}

} // namespace

QByteArray HandledMessages::identity(const QString &messageId, const QString &uniqueName)
{
    if (messageId.isEmpty() && uniqueName.isEmpty())
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(messageId.toUtf8());
    hash.addData(QByteArrayView("\n", 1));
    hash.addData(uniqueName.toUtf8());
    return hash.result().left(16);
}

HandledMessages::HandledMessages(MLTable &table)
    : m_table(table)
{
}

bool HandledMessages::contains(const QByteArray &identity) const
{
    SqliteDb &db = m_table.connection();
    if (identity.isEmpty())
        return false;
    sqlite3_stmt *s = prepared(db, "SELECT 1 FROM HandledMessages WHERE Identity = ?1", false);
    if (!s)
        return false;
    Stmt guard(s);
    sqlite3_bind_blob(s, 1, identity.constData(), int(identity.size()), SQLITE_TRANSIENT);
    return db.step(s) == SQLITE_ROW;
}

void HandledMessages::record(const QByteArray &identity)
{
    SqliteDb &db = m_table.connection();
    // A failed statement may have ended the transaction; a record written
    // on its own would then outlive the changes it stands for.
    if (sqlite3_get_autocommit(db.handle()))
        throw TableError(QStringLiteral("The change was undone before it could be recorded."));
    if (identity.isEmpty())
        return;
    {
        sqlite3_stmt *s
            = prepared(db, "INSERT OR REPLACE INTO HandledMessages (Identity, HandledAt) VALUES (?1, ?2)", true);
        Stmt guard(s);
        sqlite3_bind_blob(s, 1, identity.constData(), int(identity.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(s, 2, QDateTime::currentSecsSinceEpoch());
        db.step(s);
    }
    // Row ids grow with each record, so the oldest are those below the last
    // one by more than the limit.
    const qint64 last = sqlite3_last_insert_rowid(db.handle());
    if (last > Limit) {
        sqlite3_stmt *s = db.prepare("DELETE FROM HandledMessages WHERE rowid <= ?1");
        Stmt guard(s);
        sqlite3_bind_int64(s, 1, last - Limit);
        db.step(s);
    }
}

qint64 HandledMessages::count() const
{
    SqliteDb &db = m_table.connection();
    if (!tableExists(db))
        return 0;
    sqlite3_stmt *s = db.prepare("SELECT count(*) FROM HandledMessages");
    Stmt guard(s);
    db.step(s);
    return sqlite3_column_int64(s, 0);
}

void HandledMessages::createIfMissing(SqliteDb &db) noexcept
{
    try {
        if (!tableExists(db))
            db.exec(CreateSql);
    } catch (const TableError &) {
        // Busy or not writable now: the first record makes it.
    }
}
