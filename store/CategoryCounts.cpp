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

std::optional<qint64> CategoryCounts::find(const QString &prefix, qint64 version) const
{
    if (version != m_version)
        return std::nullopt;
    const auto it = m_counts.constFind(lowerAZ(prefix));
    return it == m_counts.cend() ? std::nullopt : std::optional<qint64>(it.value());
}

void CategoryCounts::store(const QString &prefix, qint64 version, qint64 count)
{
    if (version != m_version || m_counts.size() >= MostPrefixes) {
        m_counts.clear();
        m_version = version;
    }
    m_counts.insert(lowerAZ(prefix), count);
}

void CategoryCounts::adjust(const QString &category, int delta)
{
    if (m_counts.isEmpty())
        return;
    const QString folded = lowerAZ(category);
    for (auto it = m_counts.begin(); it != m_counts.end(); ++it) {
        if (folded.startsWith(it.key()))
            it.value() += delta;
    }
}

void CategoryCounts::clear()
{
    for (qint64 &count : m_counts)
        count = 0;
}

void CategoryCounts::invalidate()
{
    m_counts.clear();
    m_version = -1;
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
    // The whole list is the empty prefix: counting it walks an index too.
    const QString prefix = filtering ? m_filterCategory : QString();
    if (const std::optional<qint64> known = m_categoryCounts.find(prefix, version)) {
        m_count = int(*known);
    } else {
        m_count = int(scalar("SELECT count(*) FROM mailist" + whereSql, binds));
        m_categoryCounts.store(prefix, version, m_count);
    }
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
