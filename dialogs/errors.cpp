#include "dialogs/errors.h"

#include "core/DateTimeText.h"
#include "core/LineList.h"
#include "core/Prompts.h"
#include "dialogs/FormScale.h"
#include "dialogs/logunitModel.h"
#include "dialogs/reproc.h"
#include "store/EntryRules.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include <exception>

Tdlgerrors::Tdlgerrors(LineList &errors, EntryRules &rules, Prompts &prompts, QWidget *parent)
    : QDialog(parent)
    , m_errors(errors)
    , m_rules(rules)
    , m_prompts(prompts)
    , m_model(new LineListModel(errors, false, this))
{
    setObjectName(QStringLiteral("dlgerrors"));
    setWindowTitle(QStringLiteral("Errors"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);

    auto *row = new QHBoxLayout(this);
    lbxerrors = new QListView(this);
    lbxerrors->setObjectName(QStringLiteral("lbxerrors"));
    lbxerrors->setModel(m_model);
    lbxerrors->setUniformItemSizes(true);
    lbxerrors->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbxerrors->setEditTriggers(QAbstractItemView::NoEditTriggers);
    row->addWidget(lbxerrors, 1);

    auto *panel = new QVBoxLayout;
    btndeleteentry = new QPushButton(QStringLiteral("Delete Entry"), this);
    btndeleteentry->setObjectName(QStringLiteral("btndeleteentry"));
    btndeleteentry->setToolTip(QStringLiteral("Delete the selected Line(s)"));
    BitBtn1 = new QPushButton(QStringLiteral("Reprocess Entry.."), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setToolTip(QStringLiteral("Reprocess the selected line"));
    btnClose = new QPushButton(QStringLiteral("&Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    for (QPushButton *b : {btndeleteentry, BitBtn1, btnClose}) {
        b->setMinimumSize(formscale::size(105, 25));
        b->setAutoDefault(false);
        panel->addWidget(b);
    }
    panel->addStretch(1);
    auto *panelBox = new QWidget(this);
    panelBox->setObjectName(QStringLiteral("Panel1"));
    panelBox->setLayout(panel);
    panelBox->setMinimumWidth(formscale::px(129));
    row->addWidget(panelBox);

    resize(formscale::size(619, 472));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    connect(btndeleteentry, &QPushButton::clicked, this, &Tdlgerrors::btndeleteentryClick);
    connect(BitBtn1, &QPushButton::clicked, this, &Tdlgerrors::BitBtn1Click);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
}

QString Tdlgerrors::reprocessComment()
{
    return QStringLiteral("Reprocessing of entry at ") + getdatetimestring();
}

void Tdlgerrors::btndeleteentryClick()
{
    // By ranges: asking for the selected rows one by one costs a pass per row.
    const QItemSelection selection = lbxerrors->selectionModel()->selection();
    if (selection.isEmpty())
        return;
    QList<int> rows;
    for (const QItemSelectionRange &range : selection) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.append(row);
    }
    lbxerrors->selectionModel()->clear();
    m_model->removeRows(rows);
}

void Tdlgerrors::BitBtn1Click()
{
    const QModelIndex focused = lbxerrors->currentIndex();
    if (!focused.isValid())
        return;
    const int row = focused.row();
    Tdlgreprocess dlgreprocess(this);
    dlgreprocess.showLine(focused.data().toString());
    if (dlgreprocess.exec() != QDialog::Accepted)
        return;
    m_errors.removeAt(row);
    try {
        m_rules.insertentry(dlgreprocess.rdbadd->isChecked(), dlgreprocess.edtemail->text(),
                            dlgreprocess.edtcategory->text(), reprocessComment());
    } catch (const std::exception &e) {
        m_prompts.error(QString::fromUtf8(e.what()));
    }
}
