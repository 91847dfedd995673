#include "commands/CategoryView.h"

#include "store/MLTable.h"
#include "store/TableError.h"

CategoryView::CategoryView(MLTable &table)
    : m_table(table)
{
}

void CategoryView::setFilter(const QString &category, bool limited)
{
    m_category = category;
    m_limited = limited;
    apply();
}

void CategoryView::apply()
{
    m_table.setFilterCategory(m_category);
    m_table.setFiltered(m_limited && !m_category.isEmpty());
}

int CategoryView::count() const
{
    try {
        return m_table.active() ? m_table.recordCount() : 0;
    } catch (const TableError &) {
        return 0;
    }
}

QString CategoryView::countText() const
{
    return QString::number(count()) + QStringLiteral(" Records");
}

void CategoryView::setOrdering(int choice)
{
    static const char *const indexNames[] = {"ByItem", "ByCategory", "ByBounce", ""};
    if (choice < 0 || choice > 3)
        return;
    m_table.setIndexName(QString::fromLatin1(indexNames[choice]));
}

void CategoryView::hold()
{
    m_table.setFiltered(false);
    m_table.disableControls();
}

void CategoryView::release()
{
    m_table.enableControls();
    apply();
}

CategoryView::SavedFilter::SavedFilter(MLTable &table)
    : m_table(table)
    , m_category(table.filterCategory())
    , m_filtered(table.filtered())
{
}

CategoryView::SavedFilter::~SavedFilter()
{
    restore();
}

void CategoryView::SavedFilter::restore()
{
    m_table.setFilterCategory(m_category);
    m_table.setFiltered(m_filtered);
}
