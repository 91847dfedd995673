#include "store/HandledMessages.h"

#include "store/MLTable.h"
#include "store/SqliteDb.h"

#include <QDateTime>
#include <QtEndian>

#include <nettle/sha2.h>

namespace {

const char *const CreateSql = "CREATE TABLE IF NOT EXISTS HandledMessages ("
                              " Identity BLOB NOT NULL PRIMARY KEY,"
                              " HandledAt INTEGER NOT NULL);"
                              "CREATE TABLE IF NOT EXISTS HandledContents ("
                              " Content BLOB NOT NULL PRIMARY KEY,"
                              " Generation INTEGER NOT NULL)";

// Nettle's SHA-256 runs on the processor's SHA instructions where it has
// them, at a tenth of Qt's cost: a check keys every message it reads.
class Sha256
{
public:
    Sha256() { sha256_init(&m_context); }
    Sha256 &add(QByteArrayView bytes)
    {
        sha256_update(&m_context, size_t(bytes.size()), reinterpret_cast<const uint8_t *>(bytes.data()));
        return *this;
    }
    // The first `bytes` of the digest; the hash starts afresh after.
    QByteArray take(qsizetype bytes)
    {
        QByteArray digest(bytes, Qt::Uninitialized);
        sha256_digest(&m_context, size_t(bytes), reinterpret_cast<uint8_t *>(digest.data()));
        return digest;
    }

private:
    sha256_ctx m_context;
};

constexpr qsizetype KeyBytes = 16;
constexpr qsizetype GenerationBytes = 8;
constexpr qsizetype WithContent = 2 * KeyBytes + GenerationBytes;

bool tableExists(SqliteDb &db, const char *name = HandledMessages::TableName)
{
    sqlite3_stmt *s = db.prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1");
    Stmt guard(s);
    sqlite3_bind_text(s, 1, name, -1, SQLITE_STATIC);
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
        if (tableExists(db) && tableExists(db, "HandledContents"))
            throw;
        if (!create)
            return nullptr;
        db.exec(CreateSql);
        return db.prepare(sql);
    }
}

qint64 generationOf(const QByteArray &identity)
{
    return qFromBigEndian<qint64>(identity.constData() + 2 * KeyBytes);
}

// Row ids grow with each record, so the oldest are those below the last one
// by more than the limit.
void dropOldest(SqliteDb &db, const char *sql)
{
    const qint64 last = sqlite3_last_insert_rowid(db.handle());
    if (last <= HandledMessages::Limit)
        return;
    sqlite3_stmt *s = db.prepare(sql);
    Stmt guard(s);
    sqlite3_bind_int64(s, 1, last - HandledMessages::Limit);
    db.step(s);
}

} // namespace

QByteArray HandledMessages::identity(const QString &messageId, const QString &uniqueName,
                                     const std::optional<Generation> &generation)
{
    if (messageId.isEmpty() && uniqueName.isEmpty())
        return {};
    const QByteArray id = messageId.toUtf8();
    Sha256 hash;
    QByteArray key = hash.add(id).add("\n").add(uniqueName.toUtf8()).take(KeyBytes);
    // Without a Message-ID, the size alone would take one message for another.
    if (!generation || messageId.isEmpty())
        return key;
    key += hash.add(id).add("\n").add(QByteArray::number(generation->size)).take(KeyBytes);
    // The folder belongs to the generation: a renamed folder's names are
    // as new as a renumbered one's.
    key += hash.add(generation->folder.toUtf8())
               .add("\n")
               .add(QByteArray::number(generation->number))
               .take(GenerationBytes);
    return key;
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
    {
        sqlite3_stmt *s = prepared(db, "SELECT 1 FROM HandledMessages WHERE Identity = ?1", false);
        if (!s)
            return false;
        Stmt guard(s);
        sqlite3_bind_blob(s, 1, identity.constData(), int(qMin(identity.size(), KeyBytes)), SQLITE_TRANSIENT);
        if (db.step(s) == SQLITE_ROW)
            return true;
    }
    if (identity.size() != WithContent)
        return false;
    // The same message in the same folder and generation has the same unique
    // name: a match there is another message with this Message-ID and size.
    sqlite3_stmt *s = prepared(db, "SELECT Generation FROM HandledContents WHERE Content = ?1", false);
    if (!s)
        return false;
    Stmt guard(s);
    sqlite3_bind_blob(s, 1, identity.constData() + KeyBytes, int(KeyBytes), SQLITE_TRANSIENT);
    return db.step(s) == SQLITE_ROW && sqlite3_column_int64(s, 0) != generationOf(identity);
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
        sqlite3_bind_blob(s, 1, identity.constData(), int(qMin(identity.size(), KeyBytes)), SQLITE_TRANSIENT);
        sqlite3_bind_int64(s, 2, QDateTime::currentSecsSinceEpoch());
        db.step(s);
    }
    dropOldest(db, "DELETE FROM HandledMessages WHERE rowid <= ?1");
    if (identity.size() != WithContent)
        return;
    {
        sqlite3_stmt *s
            = prepared(db, "INSERT OR REPLACE INTO HandledContents (Content, Generation) VALUES (?1, ?2)", true);
        Stmt guard(s);
        sqlite3_bind_blob(s, 1, identity.constData() + KeyBytes, int(KeyBytes), SQLITE_TRANSIENT);
        sqlite3_bind_int64(s, 2, generationOf(identity));
        db.step(s);
    }
    dropOldest(db, "DELETE FROM HandledContents WHERE rowid <= ?1");
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
        if (!tableExists(db) || !tableExists(db, "HandledContents"))
            db.exec(CreateSql);
    } catch (const TableError &) {
        // Busy or not writable now: the first record makes it.
    }
}
