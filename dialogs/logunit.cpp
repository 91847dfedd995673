#include "dialogs/logunit.h"

#include "core/LineList.h"
#include "core/Prompts.h"
#include "core/TextFile.h"
#include "dialogs/FormScale.h"
#include "dialogs/logunitModel.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

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

    auto *panel = new QVBoxLayout;
    BitBtn2 = new QPushButton(QStringLiteral("Save Log.."), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setToolTip(QStringLiteral("Saves the contents of the log to a specified file"));
    btnclearlog = new QPushButton(QStringLiteral("Clear Log"), this);
    btnclearlog->setObjectName(QStringLiteral("btnclearlog"));
    btnclearlog->setToolTip(QStringLiteral("Clears all entries from your log"));
    btnClose = new QPushButton(QStringLiteral("&Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    for (QPushButton *b : {BitBtn2, btnclearlog, btnClose}) {
        b->setMinimumSize(formscale::size(90, 25));
        b->setAutoDefault(false);
        panel->addWidget(b);
    }
    panel->addStretch(1);
    auto *panelBox = new QWidget(this);
    panelBox->setObjectName(QStringLiteral("Panel1"));
    panelBox->setLayout(panel);
    panelBox->setMinimumWidth(formscale::px(114));
    row->addWidget(panelBox);

    resize(formscale::size(696, 480));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

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
