#include "dialogs/logunit.h"

#include "core/LineList.h"
#include "core/Prompts.h"
#include "core/TextFile.h"
#include "dialogs/SidePanel.h"
#include "dialogs/logunitModel.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QListView>
#include <QPushButton>
#include <QStyledItemDelegate>

namespace {

// Every row as wide as the longest line, so the horizontal scroll bar reaches
// it while the view still measures only one row.
class WidestLineDelegate : public QStyledItemDelegate
{
public:
    WidestLineDelegate(const LineList &lines, QObject *parent)
        : QStyledItemDelegate(parent)
        , m_lines(lines)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize hint = QStyledItemDelegate::sizeHint(option, index);
        qsizetype longest = 0;
        for (const QString &line : m_lines.lines())
            longest = std::max(longest, line.size());
        const int width = option.fontMetrics.horizontalAdvance(QLatin1Char('M')) * int(longest + 2);
        hint.setWidth(std::max(hint.width(), width));
        return hint;
    }

private:
    const LineList &m_lines;
};

} // namespace

Tdlglog::Tdlglog(LineList &log, Prompts &prompts, QWidget *parent)
    : QDialog(parent)
    , m_log(log)
    , m_prompts(prompts)
    , m_model(new LineListModel(log, true, this))
{
    setObjectName(QStringLiteral("dlglog"));
    setWindowTitle(QStringLiteral("Log"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);

    auto *row = new QHBoxLayout(this);
    Memo1 = new QListView(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setModel(m_model);
    Memo1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Memo1->setUniformItemSizes(true);
    Memo1->setWordWrap(false);
    Memo1->setTextElideMode(Qt::ElideNone);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Memo1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                           | QAbstractItemView::AnyKeyPressed);
    Memo1->setItemDelegate(new WidestLineDelegate(log, Memo1));
    row->addWidget(Memo1, 1);

    BitBtn2 = sidepanel::button(this, QStringLiteral("&Save Log.."), "BitBtn2",
                                QStringLiteral("Saves the contents of the log to a specified file"));
    btnclearlog = sidepanel::button(this, QStringLiteral("C&lear Log"), "btnclearlog",
                                    QStringLiteral("Clears all entries from your log"));
    btnClose = sidepanel::button(this, QStringLiteral("&Close"), "btnClose");
    sidepanel::addColumn(row, this, {BitBtn2, btnclearlog, btnClose}, 90, 114);
    sidepanel::resizeCentred(this, 696, 480);

    connect(BitBtn2, &QPushButton::clicked, this, &Tdlglog::BitBtn2Click);
    connect(btnclearlog, &QPushButton::clicked, this, &Tdlglog::btnclearlogClick);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
}

QString Tdlglog::clearQuestion()
{
    return QStringLiteral("Are you sure you want to clear your log file?");
}

void Tdlglog::btnclearlogClick()
{
    if (m_prompts.confirm(clearQuestion()) == Prompts::Answer::Yes)
        m_log.clear();
}

void Tdlglog::BitBtn2Click()
{
    const QString file = m_prompts.saveFileName(QStringLiteral("Save As"), QString(), QString());
    if (file.isEmpty())
        return;
    if (!textfile::writeLines(file, m_log.lines()))
        m_prompts.error(QStringLiteral("Save Error!"));
}
