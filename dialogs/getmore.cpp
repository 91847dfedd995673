#include "dialogs/getmore.h"

#include "core/Prompts.h"
#include "dialogs/FormScale.h"
#include "dialogs/WaitCursor.h"
#include "store/ListWorkspace.h"
#include "store/Validation.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

QCheckBox *fieldBox(QWidget *parent, const char *name, const QString &caption, const QString &hint)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setToolTip(hint);
    return box;
}

const QString FromCaption = QStringLiteral("From Address");
const QString ContactCaption = QStringLiteral("Contact E-mail Address");

} // namespace

TdlgGetMore::TdlgGetMore(ListWorkspace &workspace, Prompts &prompts, ProgressFn progress, QWidget *parent)
    : QDialog(parent)
    , ProcessModes(workspace, prompts, std::move(progress))
    , m_scan([&workspace](const QString &a) { return validemailaddress(a, workspace.settings, workspace.lists); })
{
    m_scan.setHarvestRules(HarvestRules(HarvestRules::ownAddresses(workspace.settings)));
    setObjectName(QStringLiteral("dlgGetMore"));
    setWindowTitle(QStringLiteral("Scan Outlook Folders for E-mail Addresses"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *form = new QVBoxLayout(this);
    form->setContentsMargins(formscale::px(12), formscale::px(10), formscale::px(12), formscale::px(10));
    auto *top = new QHBoxLayout;
    form->addLayout(top, 1);

    auto *folders = new QGroupBox(QStringLiteral("Outlook Folders:"), this);
    folders->setObjectName(QStringLiteral("grpfolders"));
    auto *folderLayout = new QVBoxLayout(folders);
    lbxfolders = new QListWidget(folders);
    lbxfolders->setObjectName(QStringLiteral("lbxfolders"));
    lbxfolders->setToolTip(QStringLiteral("Your root Outlook folders"));
    lbxfolders->setMinimumSize(formscale::size(150, 150));
    rdbmessages = new QRadioButton(QStringLiteral("Folder contains E-mail messages"), folders);
    rdbmessages->setObjectName(QStringLiteral("rdbmessages"));
    rdbmessages->setToolTip(QStringLiteral("Set this option if the folder you have selected contains e-mail messages"));
    rdbmessages->setChecked(true);
    rdbcontacts = new QRadioButton(QStringLiteral("Folder contains contacts"), folders);
    rdbcontacts->setObjectName(QStringLiteral("rdbcontacts"));
    rdbcontacts->setToolTip(
        QStringLiteral("Select this option if the folder you have selected contains contact information"));
    auto *kinds = new QButtonGroup(this);
    kinds->addButton(rdbmessages);
    kinds->addButton(rdbcontacts);
    folderLayout->addWidget(lbxfolders, 1);
    folderLayout->addWidget(rdbmessages);
    folderLayout->addWidget(rdbcontacts);
    top->addWidget(folders, 1);

    auto *middle = new QVBoxLayout;
    middle->addStretch(1);
    auto *scanLabel = new QLabel(QStringLiteral("Scan Folder for E-mail Addresses"), this);
    scanLabel->setWordWrap(true);
    scanLabel->setAlignment(Qt::AlignCenter);
    middle->addWidget(scanLabel);
    BitBtn1 = new QPushButton(QStringLiteral(">>"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setToolTip(QStringLiteral("Scan the selected folder for e-mail addreses in the following fields"));
    BitBtn1->setAutoDefault(false);
    BitBtn1->setFixedSize(formscale::size(60, 25));
    middle->addWidget(BitBtn1, 0, Qt::AlignHCenter);
    middle->addSpacing(formscale::px(10));
    middle->addWidget(new QLabel(QStringLiteral("Retrieve entries from:"), this));
    chkfrom = fieldBox(this, "chkfrom", ContactCaption,
                       QStringLiteral("Add e-mail addresses in the From field to the list"));
    // Room for the longer of its two captions.
    chkfrom->setMinimumWidth(chkfrom->sizeHint().width());
    chkfrom->setText(FromCaption);
    chkfrom->setChecked(true);
    CHKRECIPIENTS = fieldBox(this, "CHKRECIPIENTS", QStringLiteral("Recipient Addresses"),
                             QStringLiteral("Add e-mail addresses in the To and CC fields to the list"));
    chkbody = fieldBox(this, "chkbody", QStringLiteral("Message Body "),
                       QStringLiteral("Add all e-mail addresses found in the message body to the list"));
    for (QCheckBox *box : {chkfrom, CHKRECIPIENTS, chkbody})
        middle->addWidget(box);
    middle->addStretch(1);
    top->addLayout(middle);

    auto *retrieved = new QGroupBox(QStringLiteral("Retrieved Addresses:"), this);
    retrieved->setObjectName(QStringLiteral("grpretrieved"));
    auto *retrievedLayout = new QVBoxLayout(retrieved);
    memretr = new QPlainTextEdit(retrieved);
    memretr->setObjectName(QStringLiteral("memretr"));
    memretr->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Tab moves on, so a keyboard user is not kept in the field.
    memretr->setTabChangesFocus(true);
    memretr->setMinimumSize(formscale::size(180, 150));
    retrievedLayout->addWidget(memretr);
    top->addWidget(retrieved, 1);

    buildModes(this, this, form, QStringLiteral("How should addresses be processed:"));

    addProcessButtons(this, form, btnProcessAll, btnClose);

    resize(sizeHint().expandedTo(formscale::size(560, 470)));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Timer1.setInterval(ListDelayMs);
    Timer1.setSingleShot(true);
    connect(&Timer1, &QTimer::timeout, this, &TdlgGetMore::OpenBtnClick);
    connect(lbxfolders, &QListWidget::currentRowChanged, this, &TdlgGetMore::lbxfoldersClick);
    connect(rdbmessages, &QRadioButton::clicked, this, &TdlgGetMore::rdbmessagesClick);
    connect(rdbcontacts, &QRadioButton::clicked, this, &TdlgGetMore::rdbmessagesClick);
    for (QCheckBox *box : {chkfrom, CHKRECIPIENTS, chkbody})
        connect(box, &QCheckBox::clicked, this, &TdlgGetMore::chktoClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TdlgGetMore::BitBtn1Click);
    connect(btnProcessAll, &QPushButton::clicked, this, &TdlgGetMore::btnProcessAllClick);
    connect(btnClose, &QPushButton::clicked, this, &TdlgGetMore::reject);
}

TdlgGetMore::~TdlgGetMore()
{
    if (m_listWait)
        QApplication::restoreOverrideCursor();
}

void TdlgGetMore::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TdlgGetMore::FormShow()
{
    if (!m_listWait) {
        m_listWait = true;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    edtcategory->setText(m_workspace.settings.defaultcategory);
    Timer1.start();
}

void TdlgGetMore::OpenBtnClick()
{
    Timer1.stop();
    QStringList names;
    QString failure;
    {
        WaitCursor wait;
        try {
            m_scan.listFolders(names);
        } catch (const std::exception &e) {
            failure = QString::fromUtf8(e.what());
        }
        lbxfolders->addItems(names);
    }
    if (m_listWait) {
        m_listWait = false;
        QApplication::restoreOverrideCursor();
    }
    if (!failure.isEmpty())
        m_prompts.error(failure);
}

void TdlgGetMore::lbxfoldersClick()
{
    const QListWidgetItem *selected = lbxfolders->currentItem();
    const bool contacts = selected && m_scan.kindOf(selected->text()) == FolderScan::Kind::Contacts;
    (contacts ? rdbcontacts : rdbmessages)->setChecked(true);
    rdbmessagesClick();
}

void TdlgGetMore::rdbmessagesClick()
{
    const bool messages = rdbmessages->isChecked();
    chkfrom->setText(messages ? FromCaption : ContactCaption);
    if (!messages) {
        chkfrom->setChecked(true);
        CHKRECIPIENTS->setChecked(false);
        chkbody->setChecked(false);
    }
    CHKRECIPIENTS->setVisible(messages);
    chkbody->setVisible(messages);
    chktoClick();
}

void TdlgGetMore::chktoClick()
{
    BitBtn1->setEnabled(chkfrom->isChecked() || CHKRECIPIENTS->isChecked() || chkbody->isChecked());
}

void TdlgGetMore::appendFound(const QStringList &found)
{
    // Each address once, also across scans and beside lines typed by hand.
    QStringList lines = memretr->toPlainText().split(QLatin1Char('\n'));
    const qsizetype before = lines.size();
    HarvestRules().appendNew(lines, found);
    if (lines.size() == before)
        return;
    const QString text = lines.mid(before).join(QLatin1Char('\n'));
    if (memretr->document()->isEmpty())
        memretr->setPlainText(text);
    else
        memretr->appendPlainText(text);
}

void TdlgGetMore::BitBtn1Click()
{
    const QListWidgetItem *selected = lbxfolders->currentItem();
    // One scan at a time: a message box of a scan must not start another.
    if (!selected || m_scanning)
        return;
    m_scanning = true;
    const QString name = selected->text();
    FolderScan::Fields fields;
    fields.from = chkfrom->isChecked();
    fields.recipients = CHKRECIPIENTS->isChecked();
    fields.body = chkbody->isChecked();
    const auto kind = rdbcontacts->isChecked() ? FolderScan::Kind::Contacts : FolderScan::Kind::Messages;
    QStringList found;
    bool opened = true;
    bool stopped = false;
    int scanned = 0;
    int items = 0;
    QString failure;
    {
        WaitCursor wait;
        // The progress window's modality keeps the dialog's buttons out meanwhile.
        ThrottledProgress progress(m_progress, m_stop);
        const QString message = QStringLiteral("Scanning the folder %1 for e-mail addresses").arg(name);
        try {
            opened = m_scan.scan(name, kind, fields, found, [&](int done, int total) {
                scanned = done;
                items = total;
                return progress.update(done, total, message);
            });
        } catch (const std::exception &e) {
            failure = QString::fromUtf8(e.what());
        }
        stopped = progress.stopped();
        progress.hide();
        appendFound(found);
    }
    if (stopped)
        m_prompts.information(QStringLiteral("Scan cancelled: ") + doneOfTotal(scanned, items)
                              + QStringLiteral(" items read; the addresses found so far are listed."));
    else if (!failure.isEmpty())
        m_prompts.error(failure);
    else if (!opened)
        m_prompts.warning(QStringLiteral("The folder, ") + name + QStringLiteral(", could not be opened"));
    m_scanning = false;
}

void TdlgGetMore::btnProcessAllClick()
{
    // Lines that could not be stored, or were not reached, stay to be dealt with.
    if (const auto left = processLines(memretr->toPlainText().split(QLatin1Char('\n')), commentPrefix()))
        memretr->setPlainText(left->join(QLatin1Char('\n')));
}

bool TdlgGetMore::FormCloseQuery()
{
    return mayClose(memretr->toPlainText());
}

void TdlgGetMore::reject()
{
    if (FormCloseQuery())
        QDialog::reject();
}
