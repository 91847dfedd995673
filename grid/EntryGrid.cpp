#include "grid/EntryGrid.h"

#include "grid/EntryTableModel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>

TEntryGrid::TEntryGrid(QWidget *parent)
    : QTableView(parent)
{
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setMinimumSectionSize(0);
    setShowGrid(true);
    setTabKeyNavigation(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setInlineEditing(false);
}

void TEntryGrid::setEntryModel(EntryTableModel *model)
{
    m_model = model;
    setModel(model);
    // Keep the user's record across the re-reads that follow every change,
    // a new filter or order included; where it has gone, keep the place.
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        m_rememberedRow = currentIndex().row();
        m_rememberedColumn = std::max(0, currentIndex().column());
    });
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        const int rows = m_model->rowCount();
        if (rows == 0 || m_rememberedRow < 0)
            return;
        const std::optional<int> same = m_currentRowid ? m_model->rowOf(*m_currentRowid) : std::nullopt;
        const QModelIndex at = m_model->index(same ? *same : std::min(m_rememberedRow, rows - 1), m_rememberedColumn);
        setCurrentIndex(at);
        if (same)
            scrollTo(at, QAbstractItemView::PositionAtCenter);
    });
}

void TEntryGrid::setInlineEditing(bool on)
{
    m_inlineEditing = on;
    if (m_model)
        m_model->setEditable(on);
    if (on) {
        setSelectionBehavior(QAbstractItemView::SelectItems);
        setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                        | QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    } else {
        setSelectionBehavior(QAbstractItemView::SelectRows);
        setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
}

int TEntryGrid::TotalColWidths() const
{
    int total = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    int counted = 0;
    if (isVisible() && model()) {
        for (int c = 0; c < model()->columnCount(); ++c) {
            if (isColumnHidden(c))
                continue;
            total += columnWidth(c) + 1;
            ++counted;
        }
    }
    const bool indicator = verticalHeader()->isVisible();
    if (indicator) {
        total += IndicatorWidth;
        ++counted;
    }
    total += showGrid() ? counted : 1;
    return total;
}

void TEntryGrid::ResizeToFit()
{
    if (!model() || m_resizeCol < 0 || m_resizeCol >= model()->columnCount())
        return;
    const int excess = TotalColWidths() - width();
    const int w = columnWidth(m_resizeCol);
    if (excess >= 1) {
        if (m_resizeColMin < 0)
            m_resizeColMin = 0;
        setColumnWidth(m_resizeCol, std::max(w - excess, m_resizeColMin));
    } else {
        const int limit = m_resizeColMax < 0 ? NoLimit : std::max(m_resizeColMax, w);
        setColumnWidth(m_resizeCol, std::min(w - excess, limit));
    }
}

void TEntryGrid::mousePressEvent(QMouseEvent *event)
{
    Q_EMIT mouseDown(event);
    QTableView::mousePressEvent(event);
}

void TEntryGrid::mouseReleaseEvent(QMouseEvent *event)
{
    Q_EMIT mouseUp(event);
    QTableView::mouseReleaseEvent(event);
}

void TEntryGrid::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier && state() != EditingState) {
        if (currentIndex().isValid())
            Q_EMIT deleteRequested();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TEntryGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (m_model && current.isValid()) {
        if (const Entry *e = m_model->entryAt(current.row()))
            m_currentRowid = e->rowid;
        if (current.row() != previous.row())
            m_model->makeCurrent(current.row());
    }
}
