#include "grid/EntryTableModel.h"

#include <QTimer>

EntryTableModel::EntryTableModel(MLTable &table, QObject *parent)
    : QAbstractTableModel(parent)
    , m_table(table)
{
    connect(&m_table, &MLTable::viewChanged, this, &EntryTableModel::scheduleRefresh);
    connect(&m_table, &MLTable::dataChanged, this, &EntryTableModel::scheduleRefresh);
    connect(&m_table, &MLTable::controlsEnabled, this, &EntryTableModel::refresh);
    refresh();
}

void EntryTableModel::scheduleRefresh()
{
    // Pages read before this change are stale at once; the count and layout
    // follow once per turn of the event loop, not once per record of a batch.
    m_pages.clear();
    m_recent.clear();
    if (m_table.controlsDisabled() || m_refreshPending)
        return;
    m_refreshPending = true;
    QTimer::singleShot(0, this, [this] {
        if (m_refreshPending && !m_table.controlsDisabled())
            refresh();
        m_refreshPending = false;
    });
}

void EntryTableModel::refresh()
{
    m_refreshPending = false;
    beginResetModel();
    m_pages.clear();
    m_recent.clear();
    try {
        m_rows = m_table.active() ? m_table.recordCount() : 0;
    } catch (const TableError &) {
        m_rows = 0;
    }
    endResetModel();
}

int EntryTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int EntryTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

const QVector<Entry> *EntryTableModel::pageFor(int row) const
{
    const int page = row / PageSize;
    auto it = m_pages.find(page);
    if (it == m_pages.end()) {
        QVector<Entry> rows;
        try {
            if (m_table.active())
                rows = readPage(page);
        } catch (const TableError &) {
            // A busy or vanished table shows empty cells until the next refresh.
        }
        if (m_pages.size() >= MaxPages && !m_recent.isEmpty())
            m_pages.remove(m_recent.takeFirst());
        it = m_pages.insert(page, rows);
    } else {
        m_recent.removeOne(page);
    }
    m_recent.append(page);
    return &it.value();
}

QVector<Entry> EntryTableModel::readPage(int page) const
{
    // Scrolling reads the page next to one already read: continue from its
    // edge row rather than counting rows from an end of the list.
    const auto previous = m_pages.constFind(page - 1);
    if (previous != m_pages.cend() && previous->size() == PageSize)
        return m_table.pageNextTo(previous->constLast(), PageSize, false);
    const auto following = m_pages.constFind(page + 1);
    if (following != m_pages.cend() && !following->isEmpty())
        return m_table.pageNextTo(following->constFirst(), PageSize, true);
    return m_table.page(page * PageSize, PageSize);
}

const Entry *EntryTableModel::entryAt(int row) const
{
    if (row < 0 || row >= m_rows)
        return nullptr;
    const QVector<Entry> *page = pageFor(row);
    const int at = row % PageSize;
    return at < page->size() ? &page->at(at) : nullptr;
}

QVariant EntryTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::TextAlignmentRole && index.column() == BouncesColumn)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    const Entry *e = entryAt(index.row());
    if (!e)
        return {};
    switch (index.column()) {
    case ItemColumn:
        return e->Item;
    case CategoryColumn:
        return e->Category;
    case BouncesColumn:
        return e->Bounces;
    case CommentsColumn:
        return e->Comments;
    default:
        return {};
    }
}

QVariant EntryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const titles[ColumnCount] = {"Item", "Category", "Bounces", "Comments"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(titles[section]) : QVariant();
}

Qt::ItemFlags EntryTableModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (m_editable && index.isValid())
        f |= Qt::ItemIsEditable;
    return f;
}

std::optional<int> EntryTableModel::rowOf(qint64 rowid) const
{
    try {
        if (m_table.active())
            return m_table.viewPosition(rowid);
    } catch (const TableError &) {
    }
    return std::nullopt;
}

bool EntryTableModel::makeCurrent(int row)
{
    const Entry *e = entryAt(row);
    if (!e)
        return false;
    try {
        return m_table.locateRowid(e->rowid);
    } catch (const TableError &) {
        return false;
    }
}

bool EntryTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !m_editable)
        return false;
    try {
        const Entry *cached = entryAt(index.row());
        const Entry shown = cached ? *cached : Entry();
        if (!cached || !makeCurrent(index.row())) {
            Q_EMIT editFailed(QStringLiteral("The record has been deleted by another user."));
            return false;
        }
        // Another copy of the program may have changed the row since it was read.
        const Entry &stored = m_table.current();
        if (stored.Item != shown.Item || stored.Category != shown.Category || stored.Bounces != shown.Bounces
            || stored.Comments != shown.Comments) {
            scheduleRefresh();
            Q_EMIT editFailed(QStringLiteral("The record has been changed by another user."));
            return false;
        }
        switch (index.column()) {
        case ItemColumn:
            m_table.setItem(value.toString());
            break;
        case CategoryColumn:
            m_table.setCategory(value.toString());
            break;
        case BouncesColumn: {
            bool ok = false;
            const int bounces = value.toString().trimmed().toInt(&ok);
            if (!ok) {
                Q_EMIT editFailed(QStringLiteral("'%1' is not a valid integer value.").arg(value.toString()));
                return false;
            }
            m_table.setBounces(bounces);
            break;
        }
        case CommentsColumn:
            m_table.setComments(value.toString());
            break;
        default:
            return false;
        }
    } catch (const TableError &e) {
        Q_EMIT editFailed(e.message());
        return false;
    }
    Q_EMIT dataChanged(index, index);
    return true;
}
