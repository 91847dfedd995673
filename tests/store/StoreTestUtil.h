#pragma once
// Helpers for the store tests: a second, raw SQLite connection (what another
// copy of the program or another tool would hold) and a table scan.
#include "store/MLSchema.h"
#include "store/MLTable.h"

#include <QDir>
#include <QString>
#include <QTest>
#include <QVector>

#include <sqlite3.h>

struct Row
{
    QString item;
    QString category;
    int bounces = 0;
    QString comments;
};

class RawDb
{
public:
    explicit RawDb(const QString &path)
    {
        const QByteArray file = path.toUtf8();
        m_rc = sqlite3_open_v2(file.constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~RawDb() { sqlite3_close_v2(m_db); }
    RawDb(const RawDb &) = delete;
    RawDb &operator=(const RawDb &) = delete;

    bool ok() const { return m_rc == SQLITE_OK; }
    sqlite3 *handle() const { return m_db; }

    int exec(const QByteArray &sql)
    {
        char *err = nullptr;
        const int rc = sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, &err);
        if (err)
            m_lastError = QString::fromUtf8(err);
        sqlite3_free(err);
        return rc;
    }
    QString lastError() const { return m_lastError; }

    bool insert(const QVector<Row> &rows)
    {
        if (exec("BEGIN") != SQLITE_OK)
            return false;
        sqlite3_stmt *s = nullptr;
        sqlite3_prepare_v2(m_db, "INSERT INTO mailist (Item, Category, Bounces, Comments) VALUES (?1, ?2, ?3, ?4)", -1,
                           &s, nullptr);
        bool good = s != nullptr;
        for (const Row &r : rows) {
            if (!good)
                break;
            const QByteArray item = r.item.toUtf8();
            const QByteArray category = r.category.toUtf8();
            const QByteArray comments = r.comments.toUtf8();
            sqlite3_bind_text(s, 1, item.constData(), int(item.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(s, 2, category.constData(), int(category.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int(s, 3, r.bounces);
            sqlite3_bind_text(s, 4, comments.constData(), int(comments.size()), SQLITE_TRANSIENT);
            good = sqlite3_step(s) == SQLITE_DONE;
            sqlite3_reset(s);
        }
        sqlite3_finalize(s);
        return exec(good ? "COMMIT" : "ROLLBACK") == SQLITE_OK && good;
    }

    qint64 scalar(const QByteArray &sql)
    {
        sqlite3_stmt *s = nullptr;
        qint64 value = -1;
        if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
            value = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
        return value;
    }

    // Every row as "Item|Category|Bounces|Comments", in rowid order.
    QStringList rows()
    {
        QStringList out;
        sqlite3_stmt *s = nullptr;
        sqlite3_prepare_v2(m_db, "SELECT Item, Category, Bounces, Comments FROM mailist ORDER BY rowid", -1, &s,
                           nullptr);
        while (s && sqlite3_step(s) == SQLITE_ROW) {
            QStringList fields;
            for (int i = 0; i < 4; ++i)
                fields << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, i)),
                                            sqlite3_column_bytes(s, i));
            out << fields.join(QLatin1Char('|'));
        }
        sqlite3_finalize(s);
        return out;
    }

private:
    sqlite3 *m_db = nullptr;
    int m_rc = SQLITE_ERROR;
    QString m_lastError;
};

// Every record of the current view by first/next; stops if the cursor
// never reaches the end.
inline QVector<Entry> scanAll(MLTable &table, int limit = 100000)
{
    QVector<Entry> out;
    table.first();
    while (!table.eof() && out.size() < limit) {
        out << table.current();
        table.next();
    }
    return out;
}

inline QVector<qint64> rowids(const QVector<Entry> &entries)
{
    QVector<qint64> ids;
    ids.reserve(entries.size());
    for (const Entry &e : entries)
        ids << e.rowid;
    return ids;
}

// A new, empty table file under dir with a name not used before.
inline QString newTableFile(const QString &dir)
{
    static int serial = 0;
    const QString path = QDir(dir).filePath(QStringLiteral("list%1.DAT").arg(++serial));
    createMailingListFile(path);
    return path;
}
