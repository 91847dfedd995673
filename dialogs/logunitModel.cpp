#include "dialogs/logunitModel.h"

#include "core/LineList.h"

#include <algorithm>

LineListModel::LineListModel(LineList &lines, bool editable, QObject *parent)
    : QAbstractListModel(parent)
    , m_lines(lines)
    , m_editable(editable)
    , m_count(lines.size())
{
    connect(&m_lines, &LineList::appended, this, &LineListModel::lineAppended);
    connect(&m_lines, &LineList::reset, this, &LineListModel::linesReset);
}

int LineListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_count;
}

QVariant LineListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_count || index.row() >= m_lines.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return m_lines.lines().at(index.row());
    return {};
}

Qt::ItemFlags LineListModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractListModel::flags(index);
    if (m_editable && index.isValid())
        f |= Qt::ItemIsEditable;
    return f;
}

bool LineListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!m_editable || role != Qt::EditRole || !index.isValid() || index.row() >= m_lines.size())
        return false;
    QStringList lines = m_lines.lines();
    if (lines.at(index.row()) == value.toString())
        return true;
    lines[index.row()] = value.toString();
    // Shown as one changed row, not a reset that would lose the view's place.
    m_editedRow = index.row();
    m_lines.setLines(lines);
    m_editedRow = -1;
    Q_EMIT dataChanged(index, index);
    return true;
}

void LineListModel::removeRows(const QList<int> &rows)
{
    if (rows.isEmpty())
        return;
    QList<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    const QStringList &all = m_lines.lines();
    QStringList kept;
    kept.reserve(all.size());
    auto next = sorted.cbegin();
    for (int i = 0; i < all.size(); ++i) {
        while (next != sorted.cend() && *next < i)
            ++next;
        if (next != sorted.cend() && *next == i)
            continue;
        kept.append(all.at(i));
    }
    m_lines.setLines(kept);
}

void LineListModel::lineAppended()
{
    const int now = m_lines.size();
    if (now <= m_count) {
        linesReset();
        return;
    }
    beginInsertRows({}, m_count, now - 1);
    m_count = now;
    endInsertRows();
}

void LineListModel::linesReset()
{
    if (m_editedRow >= 0 && m_lines.size() == m_count)
        return;
    beginResetModel();
    m_count = m_lines.size();
    endResetModel();
}
