#include "store/MLTable.h"

#include "store/HandledMessages.h"
#include "store/SqliteDb.h"
#include "store/ViewQuery.h"

#include <QFileInfo>

namespace {

constexpr int BatchSize = 256;

} // namespace

MLTable::MLTable(QObject *parent)
    : QObject(parent)
{
}

MLTable::~MLTable() = default;

QString MLTable::cut(const QString &text)
{
    if (text.size() <= FieldWidth)
        return text;
    // Count characters, not UTF-16 units: keep a surrogate pair whole.
    int chars = 0;
    int n = 0;
    while (n < text.size() && chars < FieldWidth) {
        n += (text.at(n).isHighSurrogate() && n + 1 < text.size()) ? 2 : 1;
        ++chars;
    }
    return text.left(n);
}

void MLTable::setFilePath(const QString &path)
{
    m_path = path;
}

void MLTable::setExclusive(bool exclusive)
{
    m_exclusive = exclusive;
}

bool MLTable::active() const
{
    return m_db != nullptr;
}

bool MLTable::readOnly() const
{
    return m_db && m_db->readOnly();
}

void MLTable::requireOpen() const
{
    if (!m_db)
        throw TableError(QStringLiteral("The mailing-list table is not open."));
}

void MLTable::exec(const char *sql) const
{
    m_db->exec(sql);
}

void MLTable::open()
{
    if (m_db)
        return;
    if (!QFileInfo(m_path).isFile())
        throw TableError(QStringLiteral("The table file %1 does not exist.").arg(m_path), SQLITE_CANTOPEN);
    m_db = std::make_unique<SqliteDb>(m_path, BusyTimeoutMs);
    ++m_openings;
    try {
        if (m_exclusive)
            exec("PRAGMA locking_mode=EXCLUSIVE");
        exec("PRAGMA synchronous=NORMAL");
        // Checks that this is our table with its four fields in order.
        sqlite3_stmt *s = m_db->prepare("PRAGMA table_info(mailist)");
        Stmt guard(s);
        QStringList columns;
        while (m_db->step(s) == SQLITE_ROW)
            columns << columnText(s, 1);
        const QStringList expected{QStringLiteral("Item"), QStringLiteral("Category"), QStringLiteral("Bounces"),
                                   QStringLiteral("Comments")};
        if (columns != expected)
            throw TableError(QStringLiteral("%1 holds no mailing-list table.").arg(m_path));
        if (!readOnly()) {
            exec("PRAGMA journal_mode=WAL");
            HandledMessages::createIfMissing(*m_db);
        }
        if (m_exclusive)
            exec("BEGIN EXCLUSIVE; COMMIT");
    } catch (...) {
        m_db.reset();
        throw;
    }
    invalidateCount();
    resetCursor();
    first();
    Q_EMIT viewChanged();
}

void MLTable::close()
{
    if (!m_db)
        return;
    m_db.reset();
    // Another connection counts its data versions afresh.
    m_categoryCounts.invalidate();
    resetCursor();
    invalidateCount();
    Q_EMIT viewChanged();
}

void MLTable::holdOnly(Entry e, bool atEnd)
{
    // Cleared, not replaced: each look-up would allocate both again.
    m_keys.clear();
    m_keys.append(e);
    m_rows.clear();
    m_rows.append(std::move(e));
    m_pos = 0;
    m_eof = atEnd;
    m_more = !atEnd;
}

void MLTable::resetCursor()
{
    m_rows.clear();
    m_keys.clear();
    m_pos = -1;
    m_eof = true;
    m_more = false;
}

void MLTable::setIndexName(const QString &name)
{
    Ordering o = Ordering::None;
    if (name.compare(QStringLiteral("ByItem"), Qt::CaseInsensitive) == 0)
        o = Ordering::ByItem;
    else if (name.compare(QStringLiteral("ByCategory"), Qt::CaseInsensitive) == 0)
        o = Ordering::ByCategory;
    else if (name.compare(QStringLiteral("ByBounce"), Qt::CaseInsensitive) == 0)
        o = Ordering::ByBounce;
    else if (!name.isEmpty())
        throw TableError(QStringLiteral("Index %1 does not exist.").arg(name));
    if (o == m_ordering)
        return;
    m_ordering = o;
    if (m_db)
        first();
    Q_EMIT viewChanged();
}

QString MLTable::indexName() const
{
    switch (m_ordering) {
    case Ordering::ByItem:
        return QStringLiteral("ByItem");
    case Ordering::ByCategory:
        return QStringLiteral("ByCategory");
    case Ordering::ByBounce:
        return QStringLiteral("ByBounce");
    case Ordering::None:
        break;
    }
    return {};
}

void MLTable::setFilterCategory(const QString &prefix)
{
    if (prefix == m_filterCategory)
        return;
    m_filterCategory = prefix;
    if (m_filtered) {
        invalidateCount();
        if (m_db)
            first();
        Q_EMIT viewChanged();
    }
}

void MLTable::setFiltered(bool on)
{
    if (on == m_filtered)
        return;
    m_filtered = on;
    invalidateCount();
    if (m_db)
        first();
    Q_EMIT viewChanged();
}

void MLTable::loadFrom(const Entry *after, bool clear, int limit)
{
    const SqlQuery q = viewQuery(after, false, limit, 0);
    sqlite3_stmt *s = m_db->prepare(q.sql);
    Stmt guard(s);
    bindAll(s, q.binds);
    if (clear) {
        m_rows.clear();
        m_keys.clear();
    }
    int fetched = 0;
    while (m_db->step(s) == SQLITE_ROW) {
        Entry e = readEntry(s);
        m_keys.append(e);
        m_rows.append(std::move(e));
        ++fetched;
    }
    m_more = fetched == limit;
}

void MLTable::first()
{
    requireOpen();
    resetCursor();
    // The count decides how the filtered rows are read; callers need it anyway.
    if (m_filtered && !m_filterCategory.isEmpty())
        recordCount();
    loadFrom(nullptr, true, BatchSize);
    m_pos = m_rows.isEmpty() ? -1 : 0;
    m_eof = m_rows.isEmpty();
}

void MLTable::next()
{
    requireOpen();
    if (m_eof)
        return;
    if (m_pos + 1 < m_rows.size()) {
        ++m_pos;
        return;
    }
    if (m_more) {
        // Keep only the current row, then fetch what follows its key.
        const Entry row = m_rows.value(m_pos);
        const Entry key = m_keys.value(m_pos);
        m_rows = {row};
        m_keys = {key};
        m_pos = 0;
        loadFrom(&key, false, BatchSize);
        if (m_rows.size() > 1) {
            m_pos = 1;
            return;
        }
    }
    m_eof = true;
}

const Entry &MLTable::current() const
{
    if (!hasCurrent())
        throw TableError(QStringLiteral("There is no current record."));
    return m_rows.at(m_pos);
}

bool MLTable::locateWith(const QByteArray &sql, const QString &item, const QString *category, qint64 rowid)
{
    requireOpen();
    sqlite3_stmt *s = m_db->prepare(sql);
    Stmt guard(s);
    // Compared as stored: a value longer than the field was stored cut.
    if (rowid)
        sqlite3_bind_int64(s, 1, rowid);
    else
        bindText(s, 1, cut(item).toUtf8());
    if (category)
        bindText(s, 2, cut(*category).toUtf8());
    if (m_db->step(s) != SQLITE_ROW)
        return false;
    holdOnly(readEntry(s));
    return true;
}

bool MLTable::locate(const QString &item)
{
    static const QByteArray sql
        = QByteArray("SELECT ") + EntryColumns + " FROM mailist WHERE Item = ?1 ORDER BY rowid LIMIT 1";
    return locateWith(sql, item, nullptr);
}

bool MLTable::locate(const QString &item, const QString &category)
{
    static const QByteArray sql = QByteArray("SELECT ") + EntryColumns
                                  + " FROM mailist WHERE Item = ?1 AND Category = ?2 ORDER BY rowid LIMIT 1";
    return locateWith(sql, item, &category);
}

bool MLTable::locateRowid(qint64 rowid)
{
    static const QByteArray sql = QByteArray("SELECT ") + EntryColumns + " FROM mailist WHERE rowid = ?1";
    return locateWith(sql, QString(), nullptr, rowid);
}

void MLTable::append(const QString &item, const QString &category, qint32 bounces, const QString &comments)
{
    requireOpen();
    sqlite3_stmt *s = m_db->prepare("INSERT INTO mailist (Item, Category, Bounces, Comments) VALUES (?1, ?2, ?3, ?4)");
    Stmt guard(s);
    Entry e;
    e.Item = cut(item);
    e.Category = cut(category);
    e.Bounces = bounces;
    e.Comments = cut(comments);
    bindText(s, 1, e.Item.toUtf8());
    bindText(s, 2, e.Category.toUtf8());
    sqlite3_bind_int(s, 3, bounces);
    bindText(s, 4, e.Comments.toUtf8());
    m_db->step(s);
    e.rowid = sqlite3_last_insert_rowid(m_db->handle());
    m_categoryCounts.adjust(e.Category, +1);
    holdOnly(std::move(e));
    changed();
}

void MLTable::updateField(const char *column, const QString *text, const qint32 *number)
{
    requireOpen();
    Entry &row = const_cast<Entry &>(current());
    const QByteArray sql = QByteArray("UPDATE mailist SET ") + column + " = ?1 WHERE rowid = ?2";
    sqlite3_stmt *s = m_db->prepare(sql);
    Stmt guard(s);
    QString cutText;
    if (text) {
        cutText = cut(*text);
        bindText(s, 1, cutText.toUtf8());
    } else {
        sqlite3_bind_int(s, 1, *number);
    }
    sqlite3_bind_int64(s, 2, row.rowid);
    m_db->step(s);
    if (sqlite3_changes(m_db->handle()) == 0)
        throw TableError(QStringLiteral("The record has been deleted by another user."));
    const QByteArray col(column);
    if (col == "Bounces")
        row.Bounces = *number;
    else if (col == "Comments")
        row.Comments = cutText;
    else if (col == "Item")
        row.Item = cutText;
    else {
        m_categoryCounts.adjust(row.Category, -1);
        m_categoryCounts.adjust(cutText, +1);
        row.Category = cutText;
    }
    changed();
}

void MLTable::setBounces(qint32 bounces)
{
    updateField("Bounces", nullptr, &bounces);
}

void MLTable::setComments(const QString &comments)
{
    updateField("Comments", &comments, nullptr);
}

void MLTable::setItem(const QString &item)
{
    updateField("Item", &item, nullptr);
}

void MLTable::setCategory(const QString &category)
{
    updateField("Category", &category, nullptr);
}

void MLTable::deleteCurrent()
{
    requireOpen();
    const Entry gone = current();
    const Entry goneKey = m_keys.at(m_pos);
    sqlite3_stmt *s = m_db->prepare("DELETE FROM mailist WHERE rowid = ?1");
    {
        Stmt guard(s);
        sqlite3_bind_int64(s, 1, gone.rowid);
        m_db->step(s);
    }
    if (sqlite3_changes(m_db->handle()) > 0)
        m_categoryCounts.adjust(gone.Category, -1);
    m_rows.removeAt(m_pos);
    m_keys.removeAt(m_pos);
    changed();
    if (m_pos < m_rows.size())
        return;
    // Past the fetched rows: continue after the deleted key, else step back.
    m_rows.clear();
    m_keys.clear();
    // One row: a delete loop locates its next record anyway.
    loadFrom(&goneKey, true, 1);
    if (!m_rows.isEmpty()) {
        m_pos = 0;
        return;
    }
    const SqlQuery q = viewQuery(&goneKey, true, 1, 0);
    sqlite3_stmt *back = m_db->prepare(q.sql);
    Stmt guard(back);
    bindAll(back, q.binds);
    if (m_db->step(back) == SQLITE_ROW) {
        holdOnly(readEntry(back), true);
        return;
    }
    resetCursor();
}

void MLTable::emptyTable(const SliceStep &step)
{
    requireOpen();
    if (!m_exclusive)
        throw TableError(QStringLiteral("The table must be opened exclusively to be emptied."));
    if (step) {
        // Counted again when next needed: a stop leaves rows behind.
        m_categoryCounts.invalidate();
        bySlices("DELETE FROM mailist WHERE rowid BETWEEN ?1 AND ?2", step);
        m_categoryCounts.invalidate();
    } else {
        exec("DELETE FROM mailist");
        m_categoryCounts.clear();
    }
    resetCursor();
    changed();
}

void MLTable::resetAllBounces(const SliceStep &step)
{
    requireOpen();
    // Rows already at zero are left alone: most are, and rewriting them
    // would cost a write of every page.
    if (step) {
        bySlices("UPDATE mailist SET Bounces = 0 WHERE rowid BETWEEN ?1 AND ?2 AND Bounces <> 0", step);
    } else {
        sqlite3_stmt *s = m_db->prepare("UPDATE mailist SET Bounces = ?1 WHERE Bounces <> ?1");
        Stmt guard(s);
        sqlite3_bind_int(s, 1, 0);
        m_db->step(s);
    }
    if (hasCurrent()) {
        if (m_ordering == Ordering::ByBounce) {
            // Every key moved: go on from the current record's new place.
            Entry e = m_rows.at(m_pos);
            e.Bounces = 0;
            holdOnly(std::move(e), m_eof);
        } else {
            for (int i = 0; i < m_rows.size(); ++i)
                m_rows[i].Bounces = m_keys[i].Bounces = 0;
        }
    }
    changed();
}

void MLTable::bySlices(const char *sql, const SliceStep &step)
{
    // Row id ranges, not LIMIT: each slice finds its rows without passing
    // over those done before it.
    constexpr qint64 Slice = 20000;
    qint64 last = 0;
    qint64 total = 0;
    {
        sqlite3_stmt *s = m_db->prepare("SELECT max(rowid), count(*) FROM mailist");
        Stmt guard(s);
        if (m_db->step(s) == SQLITE_ROW) {
            last = sqlite3_column_int64(s, 0);
            total = sqlite3_column_int64(s, 1);
        }
    }
    sqlite3_stmt *count = m_db->prepare("SELECT count(*) FROM mailist WHERE rowid BETWEEN ?1 AND ?2");
    sqlite3_stmt *change = m_db->prepare(sql);
    qint64 done = 0;
    for (qint64 from = 1; from <= last && step(done, total); from += Slice) {
        for (sqlite3_stmt *s : {count, change}) {
            Stmt guard(s);
            sqlite3_bind_int64(s, 1, from);
            sqlite3_bind_int64(s, 2, from + Slice - 1);
            if (m_db->step(s) == SQLITE_ROW)
                done += sqlite3_column_int64(s, 0);
        }
    }
}

void MLTable::invalidateCount() const
{
    m_count = -1;
}

void MLTable::changed()
{
    invalidateCount();
    if (!controlsDisabled())
        Q_EMIT dataChanged();
}

void MLTable::disableControls()
{
    ++m_holdCount;
}

void MLTable::enableControls()
{
    if (m_holdCount == 0)
        return;
    if (--m_holdCount == 0)
        Q_EMIT controlsEnabled();
}

MLTable::Transaction::Transaction(MLTable &table, Writes writes)
    : m_table(&table)
{
    m_table->requireOpen();
    // A read-only file still answers look-ups; its writes fail on their own.
    if (m_table->readOnly()) {
        m_done = true;
        return;
    }
    // Only inside one of ours: a scan's read transaction is no place to write.
    m_nested = m_table->m_transactions > 0 && sqlite3_get_autocommit(m_table->m_db->handle()) == 0;
    if (m_nested && writes == Writes::OneStatement)
        m_done = true;
    else
        m_table->m_db->run(m_nested ? QByteArrayLiteral("SAVEPOINT part") : QByteArrayLiteral("BEGIN IMMEDIATE"));
    ++m_table->m_transactions;
    m_open = true;
}

MLTable::Transaction::~Transaction()
{
    if (m_open)
        --m_table->m_transactions;
    if (!m_done && m_table->m_db) {
        SqliteDb &db = *m_table->m_db;
        if (m_nested) {
            db.runQuietly(QByteArrayLiteral("ROLLBACK TO part"));
            db.runQuietly(QByteArrayLiteral("RELEASE part"));
        } else {
            db.runQuietly(QByteArrayLiteral("ROLLBACK"));
        }
        m_table->m_categoryCounts.invalidate();
        // A count taken inside the transaction may include undone changes.
        m_table->changed();
    }
}

void MLTable::Transaction::commit()
{
    if (m_done)
        return;
    m_table->m_db->run(m_nested ? QByteArrayLiteral("RELEASE part") : QByteArrayLiteral("COMMIT"));
    m_done = true;
}

SqliteDb &MLTable::connection() const
{
    requireOpen();
    return *m_db;
}
