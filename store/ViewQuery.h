#pragma once
// How the table's view reaches SQLite: the category filter as one range of
// the category index, and the row every view statement selects.
#include "store/MLTable.h"
#include "store/SqliteDb.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

// Smallest text above every text that starts with folded, as the table's
// NOCASE collation compares (a to z folded, then bytes). Empty when none.
QByteArray prefixUpperBound(QByteArray folded);

// The categories that begin with a prefix, in any letter case of a to z:
// low <= Category < high, or no upper end when high is empty.
struct CategoryRange
{
    explicit CategoryRange(const QString &prefix);

    // Adds the range's conditions on column and their values.
    void restrict(const QByteArray &column, QByteArrayList &where, QVector<QVariant> &binds) const;

    QByteArray low;
    QByteArray high;
};

// The columns every row read selects, in the order readEntry takes them.
inline constexpr char EntryColumns[] = "rowid, Item, Category, Bounces, Comments";
Entry readEntry(sqlite3_stmt *s);
