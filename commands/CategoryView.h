#pragma once
// The category filter, ordering and record count a window shows over the
// one list table. The main window and the send window each hold one; both
// act on the table's single cursor, so the send window keeps the main
// window's filter aside while it is open.
#include <QString>

class MLTable;

class CategoryView
{
public:
    explicit CategoryView(MLTable &table);

    // The table is filtered only while limited and given a category.
    void setFilter(const QString &category, bool limited);
    QString category() const { return m_category; }
    bool limited() const { return m_limited; }

    // Records under the filter; 0 while the table is closed or busy, so a
    // failing table shows no records rather than a box per keystroke.
    int count() const;
    QString countText() const;

    // 0 by address, 1 by category, 2 by bounce count, 3 as entered.
    void setOrdering(int choice);

    // Holds the display with the filter off, for a window that works on the
    // whole list; release puts this view's filter back.
    void hold();
    void release();

    // The table's filter as it was when made, put back by restore() or at
    // the latest when it goes.
    class SavedFilter
    {
    public:
        explicit SavedFilter(MLTable &table);
        ~SavedFilter();
        void restore();
        SavedFilter(const SavedFilter &) = delete;
        SavedFilter &operator=(const SavedFilter &) = delete;

    private:
        MLTable &m_table;
        QString m_category;
        bool m_filtered;
    };

private:
    void apply();

    MLTable &m_table;
    QString m_category;
    bool m_limited = false;
};
