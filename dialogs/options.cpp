#include "dialogs/options.h"
#include "dialogs/SendingAccountBox.h"

#include "core/Prompts.h"
#include "core/RuleList.h"
#include "core/Settings.h"
#include "dialogs/FormScale.h"
#include "dialogs/WaitCursor.h"
#include "dialogs/edtentry.h"
#include "dialogs/optionsAccount.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// Shows a value without running the handlers that copy it back.
template<typename W, typename F> void quietly(W *w, F set)
{
    const bool was = w->blockSignals(true);
    set();
    w->blockSignals(was);
}

} // namespace

Tdlgoptions::Tdlgoptions(Settings &settings, RuleLists &lists, Prompts &prompts, QWidget *parent)
    : QDialog(parent)
    , m_settings(settings)
    , m_lists(lists)
    , m_prompts(prompts)
    , m_edit(settings, lists, prompts)
{
    setObjectName(QStringLiteral("dlgoptions"));
    setWindowTitle(QStringLiteral("Options"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);

    auto *form = new QVBoxLayout(this);
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->addTab(buildGeneral(), QStringLiteral("&General"));
    PageControl1->addTab(buildCategories(), QStringLiteral("&Categories"));
    PageControl1->addTab(buildSynonyms(), QStringLiteral("&Synonyms"));
    PageControl1->addTab(buildExceptions(), QStringLiteral("E&xceptions"));
    PageControl1->addTab(buildSending(), QStringLiteral("Sending &Mail"));
    PageControl1->addTab(buildDeliveryFailure(), QStringLiteral("&Delivery Failure"));
    pgMailAccount = new TMailAccountPage(settings, prompts);
    PageControl1->addTab(pgMailAccount, QStringLiteral("Mail &Account"));
    sendingAccount = pgMailAccount->sendingAccount;
    // Every caption shows in full; the window widens to hold them.
    PageControl1->setElideMode(Qt::ElideNone);
    PageControl1->setUsesScrollButtons(false);
    form->addWidget(PageControl1, 1);

    auto *strip = new QHBoxLayout;
    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setAutoDefault(false);
    for (QPushButton *b : {BitBtn1, BitBtn2})
        b->setMinimumSize(formscale::size(75, 25));
    strip->addStretch(1);
    strip->addWidget(BitBtn1);
    strip->addWidget(BitBtn2);
    form->addLayout(strip);
    resize(formscale::size(410, 432).expandedTo(sizeHint()));
    formscale::fit(this);

    connectControls();
    showValues();
}

void Tdlgoptions::connectControls()
{
    connect(BitBtn1, &QPushButton::clicked, this, &Tdlgoptions::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &Tdlgoptions::BitBtn2Click);

    // The program reads these at once; the derived four wait for OK.
    Settings &s = m_settings;
    connect(chkautoscan, &QCheckBox::toggled, this, [&s](bool on) { s.AutoScan = on; });
    connect(rdbScanAllLines, &QRadioButton::toggled, this, [&s](bool on) { s.ScanAllEmailLines = on; });
    connect(chkUpdateCommentsWhenEntryExists, &QCheckBox::toggled, this,
            [&s](bool on) { s.UpdateCommentsWhenEntryExists = on; });
    connect(chkallowfromaddressasentry, &QCheckBox::toggled, this, [&s](bool on) { s.allowfromaddressasentry = on; });
    connect(edtAlternativeCategory, &QLineEdit::textChanged, this,
            [&s](const QString &text) { s.AlternativeCategory = text; });
    connect(edtdefaultcategory, &QLineEdit::textChanged, this, [&s](const QString &text) { s.defaultcategory = text; });
    connect(chkExcept, &QCheckBox::toggled, this, [&s](bool on) { s.Except = on; });
    connect(defaulttoaddress, &QLineEdit::textChanged, this, [&s](const QString &text) { s.DefaultToAddress = text; });
    connect(AcknowledgeCheck, &QCheckBox::toggled, this, [&s](bool on) { s.Acknowledge = on; });
    connect(chkfailedmail, &QCheckBox::toggled, this, [&s](bool on) { s.FailedMail = on; });
    connect(chkreaddeliveryreports, &QCheckBox::toggled, this, [&s](bool on) { s.ReadDeliveryReports = on; });
    connect(chkremovecomplainers, &QCheckBox::toggled, this, [&s](bool on) { s.RemoveComplainers = on; });
    connect(spnbouncemax, &QSpinBox::valueChanged, this, [&s](int n) { s.BounceMax = n; });

    connect(chkExcept, &QCheckBox::toggled, this, &Tdlgoptions::chkExceptClick);
    connect(rdbrestrictcategories, &QRadioButton::toggled, this, &Tdlgoptions::rdbrestrictcategoriesClick);
    connect(rdbsingleemail, &QRadioButton::toggled, this, &Tdlgoptions::rdbsingleemailClick);
    connect(chkfailedmail, &QCheckBox::toggled, this, &Tdlgoptions::chkfailedmailClick);

    for (QPushButton *edit :
         {btnsubsynonyms, btnunsubsynonyms, edtcategories, btninvalidentries, btnneverjoin, btndeliveryfailure})
        connect(edit, &QPushButton::clicked, this, [this, edit] { EditEntries(boxOf(edit)); });
}

RuleList RuleLists::*Tdlgoptions::listOf(QListWidget *box) const
{
    if (box == lbxAddStrings)
        return &RuleLists::addstr;
    if (box == lbxRemovalStrings)
        return &RuleLists::remstr;
    if (box == lbxcategories)
        return &RuleLists::cats;
    if (box == lbxexceptions)
        return &RuleLists::except;
    if (box == lbxneversubscribe)
        return &RuleLists::never;
    return &RuleLists::failed;
}

QListWidget *Tdlgoptions::boxOf(QPushButton *edit) const
{
    if (edit == btnsubsynonyms)
        return lbxAddStrings;
    if (edit == btnunsubsynonyms)
        return lbxRemovalStrings;
    if (edit == edtcategories)
        return lbxcategories;
    if (edit == btninvalidentries)
        return lbxexceptions;
    if (edit == btnneverjoin)
        return lbxneversubscribe;
    return lbxfailure;
}

void Tdlgoptions::showList(QListWidget *box)
{
    const QStringList &items = (m_lists.*listOf(box)).items();
    QStringList shown;
    shown.reserve(box->count());
    for (int i = 0; i < box->count(); ++i)
        shown.append(box->item(i)->text());
    if (shown == items)
        return;
    box->clear();
    box->addItems(items);
}

void Tdlgoptions::showValues()
{
    const Settings &s = m_settings;
    // Each set below copies the same value back, so no signal need be held off.
    chkautoscan->setChecked(s.AutoScan);
    (s.ScanAllEmailLines ? rdbScanAllLines : rdbScanFirstLines)->setChecked(true);
    chkUpdateCommentsWhenEntryExists->setChecked(s.UpdateCommentsWhenEntryExists);
    chkallowfromaddressasentry->setChecked(s.allowfromaddressasentry);
    edtAlternativeCategory->setText(s.AlternativeCategory);
    edtdefaultcategory->setText(s.defaultcategory);
    chkExcept->setChecked(s.Except);
    defaulttoaddress->setText(s.DefaultToAddress);
    AcknowledgeCheck->setChecked(s.Acknowledge);
    chkfailedmail->setChecked(s.FailedMail);
    chkreaddeliveryreports->setChecked(s.ReadDeliveryReports);
    chkremovecomplainers->setChecked(s.RemoveComplainers);
    spnbouncemax->setValue(s.BounceMax);
    pgMailAccount->showValues();
    for (QListWidget *box :
         {lbxAddStrings, lbxRemovalStrings, lbxcategories, lbxexceptions, lbxneversubscribe, lbxfailure})
        showList(box);

    // The derived values, as they are in force.
    const DerivedChoices c = m_edit.current();
    (c.multipleCategories ? rdbMultipleCategories : rdbSingleCategory)->setChecked(true);
    (c.restrictCategories ? rdbrestrictcategories : rdballcats)->setChecked(true);
    edtmaillistgroup->setText(c.folder);
    if (c.singleMessage) {
        rdbsingleemail->setChecked(true);
    } else {
        rdbmultiemail->setChecked(true);
        quietly(spnmaxsendcount, [&] { spnmaxsendcount->setValue(c.maxSendCount); });
    }
    chkExceptClick();
    rdbrestrictcategoriesClick();
    rdbsingleemailClick();
    chkfailedmailClick();
}

void Tdlgoptions::showEvent(QShowEvent *event)
{
    // Before painting, so the values shown are the ones in force.
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void Tdlgoptions::FormShow()
{
    // Lists may have changed elsewhere (an address blocked from the main window).
    showValues();
}

void Tdlgoptions::keyPressEvent(QKeyEvent *event)
{
    // Esc is the Cancel button, as on the classic dialogs.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        BitBtn2->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Tdlgoptions::BitBtn1Click()
{
    DerivedChoices c;
    c.singleMessage = rdbsingleemail->isChecked();
    c.maxSendCount = spnmaxsendcount->value();
    c.multipleCategories = rdbMultipleCategories->isChecked();
    c.restrictCategories = rdbrestrictcategories->isChecked();
    c.folder = edtmaillistgroup->text();
    c.defaultCategory = edtdefaultcategory->text();
    c.alternativeCategory = edtAlternativeCategory->text();
    pgMailAccount->apply();
    {
        WaitCursor wait;
        c = m_edit.apply(c);
    }
    // The defaults that stood in for empty fields.
    edtdefaultcategory->setText(c.defaultCategory);
    edtAlternativeCategory->setText(c.alternativeCategory);
    edtmaillistgroup->setText(c.folder);
    accept();
}

void Tdlgoptions::BitBtn2Click()
{
    {
        WaitCursor wait;
        m_edit.reload();
    }
    showValues();
    reject();
}

void Tdlgoptions::EditEntries(QListWidget *list)
{
    Tdlgeditentries editor(this);
    editor.Memo1->setPlainText((m_lists.*listOf(list)).items().join(QLatin1Char('\n')));
    if (editor.exec() != QDialog::Accepted)
        return;
    m_edit.editList(listOf(list), editor.Memo1->toPlainText().split(QLatin1Char('\n')));
    showList(list);
}

void Tdlgoptions::chkExceptClick()
{
    const bool on = chkExcept->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *>{Label1, lbxexceptions, btninvalidentries})
        w->setEnabled(on);
}

void Tdlgoptions::rdbrestrictcategoriesClick()
{
    const bool on = rdbrestrictcategories->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *>{lbxcategories, edtcategories, lblcats, edtAlternativeCategory})
        w->setEnabled(on);
}

void Tdlgoptions::rdbsingleemailClick()
{
    const bool on = !rdbsingleemail->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *>{spnmaxsendcount, Label8, Label2})
        w->setEnabled(on);
}

void Tdlgoptions::chkfailedmailClick()
{
    const bool on = chkfailedmail->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *>{chkreaddeliveryreports, chkremovecomplainers, lbxfailure, Label4,
                                                       btndeliveryfailure})
        w->setEnabled(on);
}
