#include "dialogs/errors.h"

#include "core/DateTimeText.h"
#include "core/LineList.h"
#include "core/Prompts.h"
#include "dialogs/SidePanel.h"
#include "dialogs/logunitModel.h"
#include "dialogs/reproc.h"
#include "store/EntryRules.h"

#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>

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

    btndeleteentry = sidepanel::button(this, QStringLiteral("&Delete Entry"), "btndeleteentry",
                                       QStringLiteral("Delete the selected Line(s)"));
    BitBtn1 = sidepanel::button(this, QStringLiteral("&Reprocess Entry.."), "BitBtn1",
                                QStringLiteral("Reprocess the selected line"));
    btnClose = sidepanel::button(this, QStringLiteral("&Close"), "btnClose");
    sidepanel::addColumn(row, this, {btndeleteentry, BitBtn1, btnClose}, 105, 129);
    sidepanel::resizeCentred(this, 619, 472);

    connect(btndeleteentry, &QPushButton::clicked, this, &Tdlgerrors::btndeleteentryClick);
    connect(BitBtn1, &QPushButton::clicked, this, &Tdlgerrors::BitBtn1Click);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_model, signal, this, &Tdlgerrors::enableButtons);
    connect(m_model, &QAbstractItemModel::modelReset, this, &Tdlgerrors::enableButtons);
    enableButtons();
}

void Tdlgerrors::enableButtons()
{
    const bool any = m_model->rowCount() > 0;
    btndeleteentry->setEnabled(any);
    BitBtn1->setEnabled(any);
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
    const QString line = m_errors.lines().at(row);
    Tdlgreprocess dlgreprocess(this);
    dlgreprocess.showLine(line);
    if (dlgreprocess.exec() != QDialog::Accepted)
        return;
    m_errors.removeAt(row);
    try {
        m_rules.insertentry(dlgreprocess.rdbadd->isChecked(), dlgreprocess.edtemail->text(),
                            dlgreprocess.edtcategory->text(), reprocessComment());
    } catch (const std::exception &e) {
        // The operation could not even look the address up: nothing took
        // the request's place, so it goes back where it was.
        QStringList lines = m_errors.lines();
        lines.insert(qMin<qsizetype>(row, lines.size()), line);
        m_errors.setLines(lines);
        m_prompts.error(QString::fromUtf8(e.what()));
    }
}
