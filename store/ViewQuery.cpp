#include "store/ViewQuery.h"

#include "core/AsciiCase.h"

#include <algorithm>

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

CategoryRange::CategoryRange(const QString &prefix)
    : low(lowerAZ(prefix).toUtf8())
    , high(prefixUpperBound(low))
{
}

void CategoryRange::restrict(const QByteArray &column, QByteArrayList &where, QVector<QVariant> &binds) const
{
    where << column + " >= ?";
    binds << QVariant(low);
    if (!high.isEmpty()) {
        where << column + " < ?";
        binds << QVariant(high);
    }
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

SqlQuery MLTable::viewCount(const Entry &after, bool descending) const
{
    // Counting through the ordered row query read every row it counted.
    SqlQuery q = viewQuery(&after, descending, 0, 0);
    const QByteArray select = QByteArray("SELECT ") + EntryColumns + " FROM mailist";
    q.sql = "SELECT count(*) FROM mailist" + q.sql.mid(select.size(), q.sql.lastIndexOf(" ORDER BY ") - select.size());
    return q;
}

SqlQuery MLTable::viewQuery(const Entry *after, bool descending, int limit, int offset, bool withFilter) const
{
    static const char *const keyColumns[4][3] = {
        {"rowid", nullptr, nullptr},
        {"Item", "Category", "rowid"},
        {"Category", "rowid", nullptr},
        {"Bounces", "rowid", nullptr},
    };
    const auto &keys = keyColumns[int(m_ordering)];

    SqlQuery q;
    q.sql = QByteArray("SELECT ") + EntryColumns + " FROM mailist";
    QByteArrayList where;
    // The one category (in any letter case) a range holds; empty when it
    // holds none or several.
    auto onlyCategory = [this](const CategoryRange &range) {
        QByteArray ends[2];
        for (int i = 0; i < 2; ++i) {
            QByteArray sql = "SELECT Category FROM mailist WHERE Category >= ?1";
            if (!range.high.isEmpty())
                sql += " AND Category < ?2";
            sql += i ? " ORDER BY Category DESC LIMIT 1" : " ORDER BY Category LIMIT 1";
            sqlite3_stmt *s = m_db->prepare(sql);
            Stmt guard(s);
            bindText(s, 1, range.low);
            if (!range.high.isEmpty())
                bindText(s, 2, range.high);
            if (m_db->step(s) != SQLITE_ROW)
                return QByteArray();
            ends[i] = columnBytes(s, 0).toByteArray();
        }
        return lowerAZ(QString::fromUtf8(ends[0])) == lowerAZ(QString::fromUtf8(ends[1])) ? ends[0] : QByteArray();
    };
    if (withFilter && m_filtered && !m_filterCategory.isEmpty()) {
        const CategoryRange range(m_filterCategory);
        const QByteArray only = m_ordering == Ordering::None ? onlyCategory(range) : QByteArray();
        if (!only.isEmpty()) {
            // One category's index entries are in rowid order already.
            where << "Category = ?";
            q.binds << QVariant(only);
        } else {
            // The unary plus keeps SQLite off the category index.
            range.restrict(m_dense && m_ordering != Ordering::ByCategory ? "+Category" : "Category", where, q.binds);
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
    if (limit > 0) {
        q.sql += " LIMIT ?";
        q.binds << QVariant(qint64(limit));
    }
    if (offset > 0) {
        q.sql += " OFFSET ?";
        q.binds << QVariant(qint64(offset));
    }
    return q;
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

QVector<Entry> MLTable::readRows(const SqlQuery &q, int limit, bool reversed) const
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

QVector<Entry> MLTable::pageNextTo(const Entry &row, int limit, bool before) const
{
    requireOpen();
    if (limit <= 0)
        return {};
    return readRows(viewQuery(&row, before, limit, 0), limit, before);
}

std::optional<int> MLTable::viewPosition(qint64 rowid) const
{
    requireOpen();
    static const QByteArray byRowid = QByteArray("SELECT ") + EntryColumns + " FROM mailist WHERE rowid = ?1";
    Entry row;
    {
        sqlite3_stmt *s = m_db->prepare(byRowid);
        Stmt guard(s);
        sqlite3_bind_int64(s, 1, rowid);
        if (m_db->step(s) != SQLITE_ROW)
            return std::nullopt;
        row = readEntry(s);
    }
    if (m_filtered && !m_filterCategory.isEmpty() && !lowerAZ(row.Category).startsWith(lowerAZ(m_filterCategory)))
        return std::nullopt;
    // The rows before it in view order.
    const SqlQuery q = viewCount(row, true);
    sqlite3_stmt *s = m_db->prepare(q.sql);
    Stmt guard(s);
    bindAll(s, q.binds);
    m_db->step(s);
    return sqlite3_column_int(s, 0);
}
