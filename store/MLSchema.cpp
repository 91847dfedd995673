#include "store/MLSchema.h"

#include "store/MLTable.h"

#include <QFile>

#include <sqlite3.h>

void createMailingListFile(const QString &path)
{
    if (QFile::exists(path))
        throw TableError(QStringLiteral("%1 exists already.").arg(path));
    sqlite3 *db = nullptr;
    const QByteArray file = path.toUtf8();
    int rc = sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    char *err = nullptr;
    if (rc == SQLITE_OK) {
        // NOCASE folds a to z only, which is how addresses and categories compare.
        rc = sqlite3_exec(db,
                          "PRAGMA journal_mode=WAL;"
                          "BEGIN;"
                          "CREATE TABLE mailist ("
                          " Item TEXT COLLATE NOCASE NOT NULL DEFAULT '',"
                          " Category TEXT COLLATE NOCASE NOT NULL DEFAULT '',"
                          " Bounces INTEGER NOT NULL DEFAULT 0,"
                          " Comments TEXT NOT NULL DEFAULT '');"
                          "CREATE INDEX ByItem ON mailist (Item, Category);"
                          "CREATE INDEX ByCategory ON mailist (Category);"
                          "CREATE INDEX ByBounce ON mailist (Bounces);"
                          "COMMIT;"
                          "PRAGMA wal_checkpoint(TRUNCATE);",
                          nullptr, nullptr, &err);
    }
    const QString message = err ? QString::fromUtf8(err) : QString::fromUtf8(sqlite3_errstr(rc));
    sqlite3_free(err);
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        QFile::remove(path);
        throw TableError(message, rc);
    }
}
