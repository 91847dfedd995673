#include "store/MLTable.h"

#include "core/AsciiCase.h"

#include <QFileInfo>
#include <QHash>
#include <QVariant>

#include <sqlite3.h>

#include <chrono>
#include <thread>

namespace {

constexpr int BatchSize = 256;
// A filter matching one row in DenseShare or more, and too many rows to sort
// cheaply, is read by walking the view's order and skipping the rest.
constexpr qint64 DenseShare = 16;
constexpr int DenseMinimum = 4096;
constexpr int DenseWindow = 1024;

QString sqliteMessage(sqlite3 *db, int rc)
{
    if (db)
        return QString::fromUtf8(sqlite3_errmsg(db));
    return QString::fromUtf8(sqlite3_errstr(rc));
}

// Statement that resets itself when it goes out of scope.
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
    sqlite3_stmt *get() const { return m_s; }

private:
    sqlite3_stmt *m_s;
};

void bindText(sqlite3_stmt *s, int i, const QByteArray &utf8)
{
    sqlite3_bind_text(s, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

QString columnText(sqlite3_stmt *s, int i)
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(s, i));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(s, i)) : QString();
}

Entry readEntry(sqlite3_stmt *s)
{
    Entry e;
    e.rowid = sqlite3_column_int64(s, 0);
    e.Item = columnText(s, 1);
    e.Category = columnText(s, 2);
    e.Bounces = sqlite3_column_int(s, 3);
    e.Comments = columnText(s, 4);
    return e;
}

// Smallest text above every text that starts with prefix, as the table's
// NOCASE collation compares (a to z folded, then bytes). Empty when none.
QByteArray prefixUpperBound(QByteArray folded)
{
    while (!folded.isEmpty()) {
        auto last = static_cast<unsigned char>(folded.back());
        if (last < 0xFF) {
            ++last;
            // Upper-case letters fold away; the next byte that survives is '['.
            if (last >= 'A' && last <= 'Z')
                last = '[';
            folded.back() = static_cast<char>(last);
            return folded;
        }
        folded.chop(1);
    }
    return {};
}

} // namespace

TableError::TableError(const QString &message, int code)
    : std::runtime_error(message.toStdString())
    , m_code(code)
{
}

struct MLTable::Db
{
    sqlite3 *handle = nullptr;
    std::chrono::steady_clock::time_point busySince;
    QHash<QByteArray, sqlite3_stmt *> statements;

    ~Db()
    {
        for (sqlite3_stmt *s : std::as_const(statements))
            sqlite3_finalize(s);
        sqlite3_close_v2(handle);
    }

    sqlite3_stmt *prepare(const QByteArray &sql)
    {
        if (sqlite3_stmt *s = statements.value(sql))
            return s;
        sqlite3_stmt *s = nullptr;
        const int rc = sqlite3_prepare_v3(handle, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &s, nullptr);
        if (rc != SQLITE_OK)
            throw TableError(sqliteMessage(handle, rc), rc);
        statements.insert(sql, s);
        return s;
    }

    // Steps once; SQLITE_ROW or SQLITE_DONE, anything else throws.
    int step(sqlite3_stmt *s)
    {
        const int rc = sqlite3_step(s);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            throw TableError(sqliteMessage(handle, rc), rc);
        return rc;
    }
};

struct MLTable::Query
{
    QByteArray sql;
    QVector<QVariant> binds;
};

// SQLite's own busy wait backs off to 100 ms naps, so a writer in another
// process that keeps re-taking the lock can hold us up for most of a second.
// Polling every millisecond keeps the same overall limit without the naps.
int MLTable::busyWait(void *context, int attempt)
{
    auto *db = static_cast<Db *>(context);
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0)
        db->busySince = now;
    if (now - db->busySince >= std::chrono::milliseconds(BusyTimeoutMs))
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
}

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
    return m_db && sqlite3_db_readonly(m_db->handle, "main") == 1;
}

void MLTable::requireOpen() const
{
    if (!m_db)
        throw TableError(QStringLiteral("The mailing-list table is not open."));
}

void MLTable::exec(const char *sql) const
{
    char *err = nullptr;
    const int rc = sqlite3_exec(m_db->handle, sql, nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        const QString message = err ? QString::fromUtf8(err) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_free(err);
        throw TableError(message, rc);
    }
}

void MLTable::open()
{
    if (m_db)
        return;
    if (!QFileInfo(m_path).isFile())
        throw TableError(QStringLiteral("The table file %1 does not exist.").arg(m_path), SQLITE_CANTOPEN);
    auto db = std::make_unique<Db>();
    const QByteArray path = m_path.toUtf8();
    int rc = sqlite3_open_v2(path.constData(), &db->handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK)
        throw TableError(sqliteMessage(db->handle, rc), rc);
    sqlite3_extended_result_codes(db->handle, 1);
    sqlite3_busy_handler(db->handle, &MLTable::busyWait, db.get());
    std::swap(m_db, db);
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
        if (!readOnly())
            exec("PRAGMA journal_mode=WAL");
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
    m_categoryCountsValid = false;
    m_categoryCountsVersion = -1;
    m_lastSeenVersion = -1;
    resetCursor();
    invalidateCount();
    Q_EMIT viewChanged();
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

MLTable::Query MLTable::viewQuery(const Entry *after, bool descending, int limit, int offset) const
{
    static const char *const keyColumns[4][3] = {
        {"rowid", nullptr, nullptr},
        {"Item", "Category", "rowid"},
        {"Category", "rowid", nullptr},
        {"Bounces", "rowid", nullptr},
    };
    const auto &keys = keyColumns[int(m_ordering)];

    Query q;
    q.sql = "SELECT rowid, Item, Category, Bounces, Comments FROM mailist";
    QByteArrayList where;
    // The one category (in any letter case) a prefix matches; empty when it
    // matches none or several.
    auto onlyCategory = [this](const QByteArray &low, const QByteArray &high) {
        QByteArray ends[2];
        for (int i = 0; i < 2; ++i) {
            QByteArray sql = "SELECT Category FROM mailist WHERE Category >= ?1";
            if (!high.isEmpty())
                sql += " AND Category < ?2";
            sql += i ? " ORDER BY Category DESC LIMIT 1" : " ORDER BY Category LIMIT 1";
            sqlite3_stmt *s = m_db->prepare(sql);
            Stmt guard(s);
            bindText(s, 1, low);
            if (!high.isEmpty())
                bindText(s, 2, high);
            if (m_db->step(s) != SQLITE_ROW)
                return QByteArray();
            ends[i] = columnText(s, 0).toUtf8();
        }
        return lowerAZ(QString::fromUtf8(ends[0])) == lowerAZ(QString::fromUtf8(ends[1])) ? ends[0] : QByteArray();
    };
    if (m_filtered && !m_filterCategory.isEmpty()) {
        const QByteArray low = lowerAZ(m_filterCategory).toUtf8();
        const QByteArray high = prefixUpperBound(low);
        const QByteArray only = m_ordering == Ordering::None ? onlyCategory(low, high) : QByteArray();
        if (!only.isEmpty()) {
            // One category's index entries are in rowid order already.
            where << "Category = ?";
            q.binds << QVariant(only);
        } else {
            // The unary plus keeps SQLite off the category index.
            const QByteArray column = m_dense && m_ordering != Ordering::ByCategory ? "+Category" : "Category";
            where << column + " >= ?";
            q.binds << QVariant(low);
            if (!high.isEmpty()) {
                where << column + " < ?";
                q.binds << QVariant(high);
            }
        }
    }
    if (after) {
        QByteArrayList cols;
        QByteArrayList marks;
        for (const char *k : keys) {
            if (!k)
                break;
            cols << k;
            marks << "?";
            const QByteArray key(k);
            if (key == "rowid")
                q.binds << QVariant(after->rowid);
            else if (key == "Item")
                q.binds << QVariant(after->Item.toUtf8());
            else if (key == "Category")
                q.binds << QVariant(after->Category.toUtf8());
            else
                q.binds << QVariant(after->Bounces);
        }
        where << "(" + cols.join(", ") + ") " + (descending ? "<" : ">") + " (" + marks.join(", ") + ")";
    }
    if (!where.isEmpty())
        q.sql += " WHERE " + where.join(" AND ");
    QByteArrayList order;
    for (const char *k : keys) {
        if (!k)
            break;
        order << QByteArray(k) + (descending ? " DESC" : "");
    }
    q.sql += " ORDER BY " + order.join(", ");
    q.sql += " LIMIT " + QByteArray::number(limit);
    if (offset > 0)
        q.sql += " OFFSET " + QByteArray::number(offset);
    return q;
}

namespace {
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
} // namespace

void MLTable::loadFrom(const Entry *after, bool clear, int limit)
{
    const Query q = viewQuery(after, false, limit, 0);
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

bool MLTable::locateWith(const char *sql, const QString &item, const QString *category, qint64 rowid)
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
    Entry e = readEntry(s);
    resetCursor();
    m_keys = {e};
    m_rows = {std::move(e)};
    m_pos = 0;
    m_eof = false;
    m_more = true;
    return true;
}

bool MLTable::locate(const QString &item)
{
    return locateWith("SELECT rowid, Item, Category, Bounces, Comments FROM mailist WHERE Item = ?1 "
                      "ORDER BY rowid LIMIT 1",
                      item, nullptr);
}

bool MLTable::locate(const QString &item, const QString &category)
{
    return locateWith("SELECT rowid, Item, Category, Bounces, Comments FROM mailist "
                      "WHERE Item = ?1 AND Category = ?2 ORDER BY rowid LIMIT 1",
                      item, &category);
}

bool MLTable::locateRowid(qint64 rowid)
{
    return locateWith("SELECT rowid, Item, Category, Bounces, Comments FROM mailist WHERE rowid = ?1", QString(),
                      nullptr, rowid);
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
    e.rowid = sqlite3_last_insert_rowid(m_db->handle);
    adjustCategoryCount(e.Category, +1);
    resetCursor();
    m_keys = {e};
    m_rows = {std::move(e)};
    m_pos = 0;
    m_eof = false;
    m_more = true;
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
    if (sqlite3_changes(m_db->handle) == 0)
        throw TableError(QStringLiteral("The record has been deleted by another user."));
    const QByteArray col(column);
    if (col == "Bounces")
        row.Bounces = *number;
    else if (col == "Comments")
        row.Comments = cutText;
    else if (col == "Item")
        row.Item = cutText;
    else {
        adjustCategoryCount(row.Category, -1);
        adjustCategoryCount(cutText, +1);
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
    if (sqlite3_changes(m_db->handle) > 0)
        adjustCategoryCount(gone.Category, -1);
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
    const Query q = viewQuery(&goneKey, true, 1, 0);
    sqlite3_stmt *back = m_db->prepare(q.sql);
    Stmt guard(back);
    bindAll(back, q.binds);
    if (m_db->step(back) == SQLITE_ROW) {
        Entry e = readEntry(back);
        m_keys = {e};
        m_rows = {std::move(e)};
        m_pos = 0;
        m_more = false;
        m_eof = true;
        return;
    }
    resetCursor();
}

void MLTable::emptyTable()
{
    requireOpen();
    if (!m_exclusive)
        throw TableError(QStringLiteral("The table must be opened exclusively to be emptied."));
    exec("DELETE FROM mailist");
    m_categoryCounts.clear();
    resetCursor();
    changed();
}

int MLTable::recordCount() const
{
    requireOpen();
    // Other processes may have written since the last count.
    sqlite3_stmt *v = m_db->prepare("PRAGMA data_version");
    qint64 version = 0;
    {
        Stmt guard(v);
        if (m_db->step(v) == SQLITE_ROW)
            version = sqlite3_column_int64(v, 0);
    }
    if (m_count >= 0 && version == m_countVersion)
        return m_count;
    const bool stable = version == m_lastSeenVersion;
    m_lastSeenVersion = version;
    QByteArray where;
    QVector<QVariant> binds;
    if (m_filtered && !m_filterCategory.isEmpty()) {
        const QByteArray low = lowerAZ(m_filterCategory).toUtf8();
        const QByteArray high = prefixUpperBound(low);
        where = high.isEmpty() ? " WHERE Category >= ?" : " WHERE Category >= ? AND Category < ?";
        binds << QVariant(low);
        if (!high.isEmpty())
            binds << QVariant(high);
    }
    auto scalar = [this](const QByteArray &sql, const QVector<QVariant> &values) {
        sqlite3_stmt *s = m_db->prepare(sql);
        Stmt guard(s);
        bindAll(s, values);
        m_db->step(s);
        return sqlite3_column_int64(s, 0);
    };
    bool sumCategories = false;
    if (!binds.isEmpty()) {
        if (m_categoryCountsValid && m_categoryCountsVersion == version)
            sumCategories = true;
        else if (stable)
            sumCategories = buildCategoryCounts(version);
    }
    if (sumCategories) {
        const QString prefix = lowerAZ(m_filterCategory);
        qint64 sum = 0;
        for (auto it = m_categoryCounts.cbegin(); it != m_categoryCounts.cend(); ++it) {
            if (it.key().startsWith(prefix))
                sum += it.value();
        }
        m_count = int(sum);
    } else {
        m_count = int(scalar("SELECT count(*) FROM mailist" + where, binds));
    }
    // Walking the view's order pays when matches are common overall and at
    // both ends of the list, where the first and the last rows are read.
    if (!binds.isEmpty()) {
        auto endMatches = [&](const char *direction) {
            return scalar(QByteArray("SELECT count(*) FROM (SELECT Category FROM mailist ORDER BY rowid ") + direction
                          + " LIMIT " + QByteArray::number(DenseWindow) + ")" + where, binds);
        };
        m_dense = m_count >= DenseMinimum && m_count * DenseShare >= scalar("SELECT max(rowid) FROM mailist", {})
            && endMatches("ASC") * DenseShare * 2 >= DenseWindow && endMatches("DESC") * DenseShare * 2 >= DenseWindow;
    }
    m_countVersion = version;
    return m_count;
}

QVector<Entry> MLTable::page(int offset, int limit) const
{
    requireOpen();
    if (limit <= 0 || offset < 0)
        return {};
    const int total = recordCount();
    if (offset >= total)
        return {};
    limit = std::min(limit, total - offset);
    // A page in the far half is read from the other end: OFFSET walks the index.
    const bool fromEnd = offset > total / 2;
    const int skip = fromEnd ? total - offset - limit : offset;
    return readRows(viewQuery(nullptr, fromEnd, limit, skip), limit, fromEnd);
}

QVector<Entry> MLTable::readRows(const Query &q, int limit, bool reversed) const
{
    QVector<Entry> rows;
    sqlite3_stmt *s = m_db->prepare(q.sql);
    Stmt guard(s);
    bindAll(s, q.binds);
    rows.reserve(limit);
    while (m_db->step(s) == SQLITE_ROW)
        rows.append(readEntry(s));
    if (reversed)
        std::reverse(rows.begin(), rows.end());
    return rows;
}

bool MLTable::buildCategoryCounts(qint64 version) const
{
    constexpr int MostCategories = 10000;
    if (m_categoryCountsVersion == version)
        return m_categoryCountsValid;
    m_categoryCounts.clear();
    m_categoryCountsValid = false;
    m_categoryCountsVersion = version;
    sqlite3_stmt *s = m_db->prepare("SELECT Category, count(*) FROM mailist GROUP BY Category");
    Stmt guard(s);
    while (m_db->step(s) == SQLITE_ROW) {
        if (m_categoryCounts.size() >= MostCategories) {
            // Nearly one category per entry: summing would not be cheaper.
            m_categoryCounts.clear();
            return false;
        }
        m_categoryCounts[lowerAZ(columnText(s, 0))] += sqlite3_column_int64(s, 1);
    }
    m_categoryCountsValid = true;
    return true;
}

void MLTable::adjustCategoryCount(const QString &category, int delta)
{
    if (m_categoryCountsValid)
        m_categoryCounts[lowerAZ(category)] += delta;
}

QVector<Entry> MLTable::pageNextTo(const Entry &row, int limit, bool before) const
{
    requireOpen();
    if (limit <= 0)
        return {};
    return readRows(viewQuery(&row, before, limit, 0), limit, before);
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

MLTable::Transaction::Transaction(MLTable &table)
    : m_table(&table)
{
    m_table->requireOpen();
    // A read-only file still answers look-ups; its writes fail on their own.
    if (m_table->readOnly())
        m_done = true;
    else
        m_table->exec("BEGIN IMMEDIATE");
}

MLTable::Transaction::~Transaction()
{
    if (!m_done && m_table->m_db) {
        sqlite3_exec(m_table->m_db->handle, "ROLLBACK", nullptr, nullptr, nullptr);
        m_table->m_categoryCountsValid = false;
        m_table->m_categoryCountsVersion = -1;
        // A count taken inside the transaction may include undone changes.
        m_table->changed();
    }
}

void MLTable::Transaction::commit()
{
    if (m_done)
        return;
    m_table->exec("COMMIT");
    m_done = true;
}
