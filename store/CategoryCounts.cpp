#include "store/CategoryCounts.h"

#include "core/AsciiCase.h"
#include "store/MLTable.h"
#include "store/SqliteDb.h"
#include "store/ViewQuery.h"

namespace {

// A filter matching one row in DenseShare or more, and too many rows to sort
// cheaply, is read by walking the view's order and skipping the rest.
constexpr qint64 DenseShare = 16;
constexpr int DenseMinimum = 4096;
constexpr int DenseWindow = 1024;

} // namespace

bool CategoryCounts::build(SqliteDb &db, qint64 version)
{
    constexpr int MostCategories = 10000;
    if (m_version == version)
        return m_valid;
    m_counts.clear();
    m_valid = false;
    m_version = version;
    sqlite3_stmt *s = db.prepare("SELECT Category, count(*) FROM mailist GROUP BY Category");
    Stmt guard(s);
    while (db.step(s) == SQLITE_ROW) {
        if (m_counts.size() >= MostCategories) {
            m_counts.clear();
            return false;
        }
        m_counts[lowerAZ(columnText(s, 0))] += sqlite3_column_int64(s, 1);
    }
    m_valid = true;
    return true;
}

void CategoryCounts::adjust(const QString &category, int delta)
{
    if (m_valid)
        m_counts[lowerAZ(category)] += delta;
}

void CategoryCounts::invalidate()
{
    m_valid = false;
    m_version = -1;
}

qint64 CategoryCounts::sumWithPrefix(const QString &prefix) const
{
    const QString folded = lowerAZ(prefix);
    qint64 sum = 0;
    for (auto it = m_counts.cbegin(); it != m_counts.cend(); ++it) {
        if (it.key().startsWith(folded))
            sum += it.value();
    }
    return sum;
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
    const bool filtering = m_filtered && !m_filterCategory.isEmpty();
    QByteArrayList where;
    QVector<QVariant> binds;
    if (filtering)
        CategoryRange(m_filterCategory).restrict("Category", where, binds);
    const QByteArray whereSql = where.isEmpty() ? QByteArray() : " WHERE " + where.join(" AND ");
    auto scalar = [this](const QByteArray &sql, const QVector<QVariant> &values) {
        sqlite3_stmt *s = m_db->prepare(sql);
        Stmt guard(s);
        bindAll(s, values);
        m_db->step(s);
        return sqlite3_column_int64(s, 0);
    };
    bool sumCategories = false;
    if (filtering) {
        if (m_categoryCounts.validAt(version))
            sumCategories = true;
        else if (stable)
            sumCategories = m_categoryCounts.build(*m_db, version);
    }
    if (sumCategories)
        m_count = int(m_categoryCounts.sumWithPrefix(m_filterCategory));
    else
        m_count = int(scalar("SELECT count(*) FROM mailist" + whereSql, binds));
    // Walking the view's order pays when matches are common overall and at
    // both ends of the list, where the first and the last rows are read.
    if (filtering) {
        auto endMatches = [&](const char *direction) {
            return scalar(QByteArray("SELECT count(*) FROM (SELECT Category FROM mailist ORDER BY rowid ") + direction
                              + " LIMIT ?)" + whereSql,
                          QVector<QVariant>{QVariant(qint64(DenseWindow))} + binds);
        };
        m_dense = m_count >= DenseMinimum && m_count * DenseShare >= scalar("SELECT max(rowid) FROM mailist", {})
                  && endMatches("ASC") * DenseShare * 2 >= DenseWindow
                  && endMatches("DESC") * DenseShare * 2 >= DenseWindow;
    }
    m_countVersion = version;
    return m_count;
}
