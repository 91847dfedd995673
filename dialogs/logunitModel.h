#pragma once
// A list view's model over a live LineList: lines appended elsewhere show at
// once, and a million lines cost no copy of their text.
#include <QAbstractListModel>

class LineList;

class LineListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit LineListModel(LineList &lines, bool editable, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Removes the given rows in one pass over the list.
    void removeRows(const QList<int> &rows);

private:
    void lineAppended();
    void linesReset();

    LineList &m_lines;
    bool m_editable;
    // What the views were last told, so a change is announced before it is seen.
    int m_count = 0;
    int m_editedRow = -1;
};
