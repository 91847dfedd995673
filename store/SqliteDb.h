#pragma once
// One SQLite connection with its prepared statements, and the small helpers
// every statement of the table goes through. Failures throw TableError.
#include "store/TableError.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariant>
#include <QVector>

#include <sqlite3.h>

#include <chrono>

QString sqliteMessage(sqlite3 *db, int rc);

class SqliteDb
{
public:
    // Opens an existing file for reading and writing (SQLite falls back to
    // reading where the file is read-only); never creates one.
    SqliteDb(const QString &path, int busyTimeoutMs);
    ~SqliteDb();
    SqliteDb(const SqliteDb &) = delete;
    SqliteDb &operator=(const SqliteDb &) = delete;

    sqlite3 *handle() const { return m_handle; }
    bool readOnly() const;

    // Kept prepared for the life of the connection.
    sqlite3_stmt *prepare(const QByteArray &sql);
    // Steps once; SQLITE_ROW or SQLITE_DONE, anything else throws.
    int step(sqlite3_stmt *s);
    void exec(const char *sql);
    // One statement without results, kept prepared: what runs per change
    // (BEGIN, COMMIT, SAVEPOINT) is not parsed again each time.
    void run(const QByteArray &sql);
    // The same, its failure only returned: for undoing, where nothing is left to report.
    int runQuietly(const QByteArray &sql) noexcept;

    // A commit that leaves at least this many pages in the write-ahead log
    // copies them back into the file (SQLite's own default). A long run of
    // commits raises it, so that a page changed by many of them is copied
    // back once; lowering it copies back at once what is over the limit.
    static constexpr int CheckpointPages = 1000;
    void setCheckpointPages(int pages) noexcept;

private:
    static int busyWait(void *context, int attempt);
    static int committed(void *context, sqlite3 *db, const char *name, int walPages);
    void checkpoint(const char *name) noexcept;

    QString m_path;
    sqlite3 *m_handle = nullptr;
    int m_busyTimeoutMs;
    std::chrono::steady_clock::time_point m_busySince;
    int m_checkpointPages = CheckpointPages;
    int m_walPages = 0;
    QHash<QByteArray, sqlite3_stmt *> m_statements;
};

// A cached statement in use: reset and unbound when it goes out of scope,
// so the next user starts clean and no read stays open.
class Stmt
{
public:
    explicit Stmt(sqlite3_stmt *s)
        : m_s(s)
    {
    }
    ~Stmt()
    {
        sqlite3_reset(m_s);
        sqlite3_clear_bindings(m_s);
    }
    Stmt(const Stmt &) = delete;
    Stmt &operator=(const Stmt &) = delete;
    sqlite3_stmt *get() const { return m_s; }

private:
    sqlite3_stmt *m_s;
};

// Statement text with its values, bound in order: a text as a QByteArray
// of UTF-8, anything else as an integer.
struct SqlQuery
{
    QByteArray sql;
    QVector<QVariant> binds;
};

void bindAll(sqlite3_stmt *s, const QVector<QVariant> &binds);

inline void bindText(sqlite3_stmt *s, int i, const QByteArray &utf8)
{
    sqlite3_bind_text(s, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

inline QByteArrayView columnBytes(sqlite3_stmt *s, int i)
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(s, i));
    return p ? QByteArrayView(p, sqlite3_column_bytes(s, i)) : QByteArrayView();
}

inline QString columnText(sqlite3_stmt *s, int i)
{
    const QByteArrayView bytes = columnBytes(s, i);
    return bytes.isNull() ? QString() : QString::fromUtf8(bytes);
}
