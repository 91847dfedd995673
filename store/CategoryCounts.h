#pragma once
// Rows per category prefix asked for (a to z folded), each counted once by
// the category index's range, so switching between filters re-counts
// nothing. The table keeps them up to date with its own edits; another
// process's write (a new data version) drops them.
#include <QHash>
#include <QString>

#include <optional>

class CategoryCounts
{
public:
    std::optional<qint64> find(const QString &prefix, qint64 version) const;
    void store(const QString &prefix, qint64 version, qint64 count);
    void adjust(const QString &category, int delta);
    // No rows left; still valid.
    void clear();
    void invalidate();

private:
    static constexpr int MostPrefixes = 64;

    QHash<QString, qint64> m_counts;
    qint64 m_version = -1;
};
