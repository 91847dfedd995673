#include "store/LoggedSteps.h"

#include "store/MLTable.h"
#include "store/SqliteDb.h"

#include <QRandomGenerator>

namespace {

const char *const CreateSql = "CREATE TABLE IF NOT EXISTS LoggedSteps ("
                              " Run BLOB NOT NULL PRIMARY KEY,"
                              " Step INTEGER NOT NULL)";

bool tableExists(SqliteDb &db)
{
    sqlite3_stmt *s = db.prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'LoggedSteps'");
    Stmt guard(s);
    return db.step(s) == SQLITE_ROW;
}

struct Step
{
    QByteArray run;
    qint64 number = 0;
};

Step parse(const QByteArray &tag)
{
    const qsizetype dot = tag.indexOf('.');
    if (dot <= 0)
        throw TableError(QStringLiteral("%1 is no step of a run.").arg(QString::fromLatin1(tag)));
    return {QByteArray::fromHex(tag.first(dot)), tag.sliced(dot + 1).toLongLong()};
}

} // namespace

QByteArray LoggedSteps::newRun()
{
    quint32 words[2];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char *>(words), sizeof words);
}

QByteArray LoggedSteps::tag(const QByteArray &run, qint64 step)
{
    return run.toHex() + '.' + QByteArray::number(step);
}

bool LoggedSteps::isTag(const QByteArray &tag)
{
    return tag.contains('.');
}

LoggedSteps::LoggedSteps(MLTable &table)
    : m_table(table)
{
}

bool LoggedSteps::contains(const QByteArray &tag) const
{
    const Step step = parse(tag);
    SqliteDb &db = m_table.connection();
    if (!tableExists(db))
        return false;
    sqlite3_stmt *s = db.prepare("SELECT Step FROM LoggedSteps WHERE Run = ?1");
    Stmt guard(s);
    sqlite3_bind_blob(s, 1, step.run.constData(), int(step.run.size()), SQLITE_TRANSIENT);
    // Steps are stored in order: a later one stored means this one was.
    return db.step(s) == SQLITE_ROW && sqlite3_column_int64(s, 0) >= step.number;
}

void LoggedSteps::record(const QByteArray &tag)
{
    const Step step = parse(tag);
    SqliteDb &db = m_table.connection();
    // A failed statement may have ended the transaction; a record written
    // on its own would then outlive the change it stands for.
    if (sqlite3_get_autocommit(db.handle()))
        throw TableError(QStringLiteral("The change was undone before it could be recorded."));
    if (!tableExists(db))
        db.exec(CreateSql);
    {
        sqlite3_stmt *s = db.prepare("UPDATE LoggedSteps SET Step = ?2 WHERE Run = ?1");
        Stmt guard(s);
        sqlite3_bind_blob(s, 1, step.run.constData(), int(step.run.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(s, 2, step.number);
        db.step(s);
    }
    if (sqlite3_changes(db.handle()) > 0)
        return;
    {
        sqlite3_stmt *s = db.prepare("INSERT INTO LoggedSteps (Run, Step) VALUES (?1, ?2)");
        Stmt guard(s);
        sqlite3_bind_blob(s, 1, step.run.constData(), int(step.run.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(s, 2, step.number);
        db.step(s);
    }
    // A new run: row ids grow with each, so the oldest runs are those below
    // this one by more than the limit.
    const qint64 last = sqlite3_last_insert_rowid(db.handle());
    if (last > Runs) {
        sqlite3_stmt *s = db.prepare("DELETE FROM LoggedSteps WHERE rowid <= ?1");
        Stmt guard(s);
        sqlite3_bind_int64(s, 1, last - Runs);
        db.step(s);
    }
}
