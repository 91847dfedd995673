#include "store/SqliteDb.h"

#include "core/LockedFiles.h"

#include <thread>

TableError::TableError(const QString &message, int code)
    : std::runtime_error(message.toStdString())
    , m_code(code)
{
}

QString sqliteMessage(sqlite3 *db, int rc)
{
    if (db)
        return QString::fromUtf8(sqlite3_errmsg(db));
    return QString::fromUtf8(sqlite3_errstr(rc));
}

SqliteDb::SqliteDb(const QString &path, int busyTimeoutMs)
    : m_path(path)
    , m_busyTimeoutMs(busyTimeoutMs)
{
    const QByteArray file = path.toUtf8();
    const int rc = sqlite3_open_v2(file.constData(), &m_handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = sqliteMessage(m_handle, rc);
        sqlite3_close_v2(m_handle);
        throw TableError(message, rc);
    }
    sqlite3_extended_result_codes(m_handle, 1);
    sqlite3_busy_handler(m_handle, &SqliteDb::busyWait, this);
    sqlite3_wal_hook(m_handle, &SqliteDb::committed, this);
    lockedfiles::add(m_path);
}

SqliteDb::~SqliteDb()
{
    for (sqlite3_stmt *s : std::as_const(m_statements))
        sqlite3_finalize(s);
    sqlite3_close_v2(m_handle);
    lockedfiles::remove(m_path);
}

bool SqliteDb::readOnly() const
{
    return sqlite3_db_readonly(m_handle, "main") == 1;
}

// SQLite's own busy wait backs off to 100 ms naps, so a writer in another
// process that keeps re-taking the lock can hold us up for most of a second.
// Polling every millisecond keeps the same overall limit without the naps.
int SqliteDb::busyWait(void *context, int attempt)
{
    auto *db = static_cast<SqliteDb *>(context);
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0)
        db->m_busySince = now;
    if (now - db->m_busySince >= std::chrono::milliseconds(db->m_busyTimeoutMs))
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
}

int SqliteDb::committed(void *context, sqlite3 *, const char *name, int walPages)
{
    auto *db = static_cast<SqliteDb *>(context);
    db->m_walPages = walPages;
    if (walPages >= db->m_checkpointPages)
        db->checkpoint(name);
    return SQLITE_OK;
}

// Passive: readers and writers of other connections are never waited for;
// what they hold back is copied by a later commit.
void SqliteDb::checkpoint(const char *name) noexcept
{
    int logPages = 0;
    int copied = 0;
    if (sqlite3_wal_checkpoint_v2(m_handle, name, SQLITE_CHECKPOINT_PASSIVE, &logPages, &copied) == SQLITE_OK
        && copied == logPages)
        m_walPages = 0;
}

void SqliteDb::setCheckpointPages(int pages) noexcept
{
    m_checkpointPages = qMax(1, pages);
    if (m_walPages >= m_checkpointPages && sqlite3_get_autocommit(m_handle))
        checkpoint("main");
}

sqlite3_stmt *SqliteDb::prepare(const QByteArray &sql)
{
    if (sqlite3_stmt *s = m_statements.value(sql))
        return s;
    sqlite3_stmt *s = nullptr;
    const int rc
        = sqlite3_prepare_v3(m_handle, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &s, nullptr);
    if (rc != SQLITE_OK)
        throw TableError(sqliteMessage(m_handle, rc), rc);
    m_statements.insert(sql, s);
    return s;
}

int SqliteDb::step(sqlite3_stmt *s)
{
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw TableError(sqliteMessage(m_handle, rc), rc);
    return rc;
}

void SqliteDb::exec(const char *sql)
{
    char *err = nullptr;
    const int rc = sqlite3_exec(m_handle, sql, nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        const QString message = err ? QString::fromUtf8(err) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_free(err);
        throw TableError(message, rc);
    }
}

void SqliteDb::run(const QByteArray &sql)
{
    sqlite3_stmt *s = prepare(sql);
    Stmt guard(s);
    step(s);
}

int SqliteDb::runQuietly(const QByteArray &sql) noexcept
{
    try {
        run(sql);
        return SQLITE_OK;
    } catch (const TableError &e) {
        return e.code() ? e.code() : SQLITE_ERROR;
    } catch (...) {
        return SQLITE_ERROR;
    }
}

void bindAll(sqlite3_stmt *s, const QVector<QVariant> &binds)
{
    for (int i = 0; i < binds.size(); ++i) {
        const QVariant &v = binds.at(i);
        if (v.typeId() == QMetaType::QByteArray)
            bindText(s, i + 1, v.toByteArray());
        else
            sqlite3_bind_int64(s, i + 1, v.toLongLong());
    }
}
