#pragma once
// The grid's view of the mailing-list table: rows are read a page at a time,
// so memory stays flat however long the list is.
#include "store/MLTable.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>

class EntryTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { ItemColumn, CategoryColumn, BouncesColumn, CommentsColumn, ColumnCount };
    static constexpr int PageSize = 128;
    static constexpr int MaxPages = 32;

    explicit EntryTableModel(MLTable &table, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    void setEditable(bool editable) { m_editable = editable; }
    bool editable() const { return m_editable; }

    // Makes the entry on this row the table's current record.
    bool makeCurrent(int row);
    const Entry *entryAt(int row) const;
    // The row that shows the record with this row id, if the view holds it.
    std::optional<int> rowOf(qint64 rowid) const;

    // Re-reads count and rows now rather than on the next turn of the loop.
    void refresh();

Q_SIGNALS:
    // An edit the table refused, with its reason.
    void editFailed(const QString &message);

private:
    void scheduleRefresh();
    const QVector<Entry> *pageFor(int row) const;
    QVector<Entry> readPage(int page) const;

    MLTable &m_table;
    bool m_editable = false;
    bool m_refreshPending = false;
    int m_rows = 0;
    mutable QHash<int, QVector<Entry>> m_pages;
    mutable QList<int> m_recent;
};
