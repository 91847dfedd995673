// Builds the main window's controls and menus.
#include "dialogs/FormScale.h"
#include "grid/EntryGrid.h"
#include "grid/EntryTableModel.h"
#include "shell/AppContext.h"
#include "shell/main.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QPushButton *commandButton(QWidget *parent, const char *name, const QString &caption, const QString &hint)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setFixedSize(formscale::size(137, 33));
    b->setToolTip(hint);
    b->setStatusTip(hint);
    return b;
}

QFrame *panel(QWidget *parent, const char *name)
{
    auto *f = new QFrame(parent);
    f->setObjectName(QString::fromLatin1(name));
    f->setFrameShape(QFrame::NoFrame);
    return f;
}

} // namespace

void Tfrmmain::buildControls()
{
    auto *central = new QWidget(this);
    auto *row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    Panel2 = panel(central, "Panel2");
    auto *clientLayout = new QVBoxLayout(Panel2);
    clientLayout->setContentsMargins(5, 5, 5, 5);
    GroupBox1 = new QGroupBox(QStringLiteral("Mailing List"), Panel2);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    clientLayout->addWidget(GroupBox1);
    auto *groupLayout = new QVBoxLayout(GroupBox1);
    groupLayout->setSpacing(0);

    Panel3 = panel(GroupBox1, "Panel3");
    Panel3->setFixedHeight(formscale::px(66));
    auto *filterLayout = new QVBoxLayout(Panel3);
    rdball = new QRadioButton(QStringLiteral("Display All Entries"), Panel3);
    rdball->setObjectName(QStringLiteral("rdball"));
    rdball->setToolTip(QStringLiteral("Displays all the e-mail addresses in your mailing list"));
    rdball->setChecked(true);
    rdbfilter = new QRadioButton(QStringLiteral("Filter Entries with the Category:"), Panel3);
    rdbfilter->setObjectName(QStringLiteral("rdbfilter"));
    rdbfilter->setToolTip(QStringLiteral("Limits the display to those of the category entered here"));
    edtfilter = new QLineEdit(Panel3);
    edtfilter->setObjectName(QStringLiteral("edtfilter"));
    edtfilter->setToolTip(QStringLiteral("Enter the category to filter entries by"));
    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(rdbfilter);
    filterRow->addWidget(edtfilter, 1);
    filterLayout->addWidget(rdball);
    filterLayout->addLayout(filterRow);
    groupLayout->addWidget(Panel3);

    DBGrid1 = new TEntryGrid(GroupBox1);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setEntryModel(m_model);
    static const int widths[] = {128, 88, 49, 172};
    for (int c = 0; c < 4; ++c)
        DBGrid1->setColumnWidth(c, formscale::px(widths[c]));
    groupLayout->addWidget(DBGrid1, 1);

    Panel4 = new QFrame(GroupBox1);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    Panel4->setFrameShape(QFrame::Panel);
    Panel4->setFrameShadow(QFrame::Sunken);
    Panel4->setFixedHeight(formscale::px(27));
    auto *bottom = new QHBoxLayout(Panel4);
    bottom->setContentsMargins(4, 1, 1, 1);
    lblcount = new QLabel(Panel4);
    lblcount->setObjectName(QStringLiteral("lblcount"));
    cmbsort = new QComboBox(Panel4);
    cmbsort->setObjectName(QStringLiteral("cmbsort"));
    cmbsort->setFixedWidth(formscale::px(129));
    cmbsort->addItems({QStringLiteral("Sort by E-mail"), QStringLiteral("Sort by Category"),
                       QStringLiteral("Sort by Bounce Count"), QStringLiteral("No Sorting")});
    cmbsort->setCurrentIndex(-1);
    bottom->addWidget(lblcount);
    bottom->addStretch(1);
    bottom->addWidget(cmbsort);
    groupLayout->addWidget(Panel4);

    Panel1 = panel(central, "Panel1");
    Panel1->setFixedWidth(formscale::px(150));
    auto *buttons = new QVBoxLayout(Panel1);
    buttons->setContentsMargins(6, 12, 7, 12);
    btngetoutlook = commandButton(Panel1, "btngetoutlook", QStringLiteral("Check for &New Entries"),
                                  QStringLiteral("Opens Outlook and checks for new entries in the specified mailing "
                                                 "list directory"));
    btngetoutlook->setDefault(true);
    btnAddMore = commandButton(Panel1, "btnAddMore", QStringLiteral("&Manually Enter Entries"),
                               QStringLiteral("Allows you to manually enter addresses into your mailing list"));
    btnsend = commandButton(Panel1, "btnsend", QStringLiteral("&Send E-Mail to List"),
                            QStringLiteral("Allows you to send a message to your mailing list"));
    BitBtn1 = commandButton(Panel1, "BitBtn1", QStringLiteral("&Close"), QString());
    btnHelp = commandButton(Panel1, "btnHelp", QStringLiteral("He&lp"), QString());
    for (QPushButton *b : {btngetoutlook, btnAddMore, btnsend, BitBtn1, btnHelp})
        buttons->addWidget(b);
    buttons->addStretch(1);

    row->addWidget(Panel2, 1);
    row->addWidget(Panel1);
    setCentralWidget(central);

    // The grid takes its new size after the panel's own resize event, so the fit
    // follows the grid.
    DBGrid1->installEventFilter(this);
}

void Tfrmmain::buildMenus()
{
    auto item = [](QMenu *menu, const QString &caption, const char *name) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    mnuSend = item(file, QStringLiteral("Send E-mail to Mailing List.."), "mnuSend");
    mnuSendOutbox = item(file, QStringLiteral("Send Messages in the Outbox"), "mnuSendOutbox");
    file->addSeparator();
    mnuCheckOutlook = item(file, QStringLiteral("Check Outlook for New Entries"), "mnuCheckOutlook");
    mnuAddMore = item(file, QStringLiteral("Manually Enter Entries.."), "mnuAddMore");
    ScanOutlookFoldersforemailaddresses1 = item(file, QStringLiteral("Scan Outlook Folders for e-mail addresses.."),
                                                "ScanOutlookFoldersforemailaddresses1");
    file->addSeparator();
    ImportMailingListEntries1
        = item(file, QStringLiteral("Import Mailing List Entries.."), "ImportMailingListEntries1");
    ExportMailingListEntries1
        = item(file, QStringLiteral("Export Mailing List Entries.."), "ExportMailingListEntries1");
    SaveBackUpFile1 = item(file, QStringLiteral("Save Back Up File.."), "SaveBackUpFile1");
    file->addSeparator();
    Options1 = item(file, QStringLiteral("Options.."), "Options1");
    file->addSeparator();
    mnuExit = item(file, QStringLiteral("E&xit"), "Exit1");

    QMenu *edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    DeleteRecord1 = item(edit, QStringLiteral("Delete Record"), "DeleteRecord1");
    mkaddtonever = item(edit, QStringLiteral("Move Record to Blocked Addresses List"), "mkaddtonever");
    edit->addSeparator();
    mkAllowEditing = item(edit, QStringLiteral("Allow In-line Editing"), "mkAllowEditing");
    mkAllowEditing->setCheckable(true);
    edit->addSeparator();
    QMenu *other = edit->addMenu(QStringLiteral("Other"));
    ResetBounceCountforallEntries1
        = item(other, QStringLiteral("Reset Bounce Count for all Entries"), "ResetBounceCountforallEntries1");
    DeleteAllEntries1 = item(other, QStringLiteral("Delete All Entries"), "DeleteAllEntries1");

    QMenu *view = menuBar()->addMenu(QStringLiteral("&View"));
    DisplayErrors1 = item(view, QStringLiteral("Display Errors.."), "DisplayErrors1");
    DisplayLog1 = item(view, QStringLiteral("Display Log.."), "DisplayLog1");

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp = item(help, QStringLiteral("Help.."), "mnuHelp");
    mnuHelp->setShortcut(QKeySequence::HelpContents);
    help->addSeparator();
    About1 = item(help, QStringLiteral("About.."), "About1");

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    ResetBounceCount1 = item(PopupMenu1, QStringLiteral("Reset Bounce Count "), "ResetBounceCount1");
    mkaddtonever2 = item(PopupMenu1, QStringLiteral("Move Record to Blocked Addresses List"), "mkaddtonever2");
    DeleteEntry1 = item(PopupMenu1, QStringLiteral("Delete Entry"), "DeleteEntry1");
    DBGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DBGrid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu1->popup(DBGrid1->viewport()->mapToGlobal(at)); });
}
