#pragma once
// The list grid: a table view that widens or narrows one column so the
// columns fill the grid, and that keeps the table's current record on the
// selected row.
#include <QTableView>

#include <optional>

class EntryTableModel;

class TEntryGrid : public QTableView
{
    Q_OBJECT
    Q_PROPERTY(int ResizeCol READ ResizeCol WRITE setResizeCol)
    Q_PROPERTY(int ResizeColMin READ ResizeColMin WRITE setResizeColMin)
    Q_PROPERTY(int ResizeColMax READ ResizeColMax WRITE setResizeColMax)
    Q_PROPERTY(int TotalColWidths READ TotalColWidths)
public:
    static constexpr int NoLimit = 29999;
    static constexpr int IndicatorWidth = 11;

    explicit TEntryGrid(QWidget *parent = nullptr);

    void setEntryModel(EntryTableModel *model);
    EntryTableModel *entryModel() const { return m_model; }

    int ResizeCol() const { return m_resizeCol; }
    void setResizeCol(int column) { m_resizeCol = column; }
    int ResizeColMin() const { return m_resizeColMin; }
    void setResizeColMin(int width) { m_resizeColMin = width; }
    int ResizeColMax() const { return m_resizeColMax; }
    void setResizeColMax(int width) { m_resizeColMax = width; }

    // Width all columns need, scroll bar and lines included.
    int TotalColWidths() const;
    void ResizeToFit();

    // In-place editing instead of whole-row selection.
    void setInlineEditing(bool on);
    bool inlineEditing() const { return m_inlineEditing; }

Q_SIGNALS:
    void mouseDown(QMouseEvent *event);
    void mouseUp(QMouseEvent *event);
    // Ctrl+Delete on a row: the window confirms and deletes the current record.
    void deleteRequested();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    EntryTableModel *m_model = nullptr;
    int m_resizeCol = 0;
    int m_resizeColMin = 20;
    int m_resizeColMax = -1;
    bool m_inlineEditing = false;
    int m_rememberedRow = -1;
    std::optional<qint64> m_currentRowid;
    int m_rememberedColumn = 0;
};
