#pragma once
// Rows per category (a to z folded), so a filter's count is a sum rather
// than an index walk. The table keeps them up to date with its own edits and
// has them rebuilt once the file holds still after another process wrote.
#include <QHash>
#include <QString>

class SqliteDb;

class CategoryCounts
{
public:
    // Whether they hold for this data version of the file.
    bool validAt(qint64 version) const { return m_valid && m_version == version; }
    // Reads them for this data version, once per version; false when there
    // are so many categories that summing would not be cheaper.
    bool build(SqliteDb &db, qint64 version);
    void adjust(const QString &category, int delta);
    // Nothing left; still valid.
    void clear() { m_counts.clear(); }
    void invalidate();
    qint64 sumWithPrefix(const QString &prefix) const;

private:
    QHash<QString, qint64> m_counts;
    bool m_valid = false;
    qint64 m_version = -1;
};
