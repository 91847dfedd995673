#include "shell/main.h"

#include "commands/ListCommands.h"
#include "core/Paths.h"
#include "core/Prompts.h"
#include "core/SettingsStore.h"
#include "core/WorkingFiles.h"
#include "dialogs/FormScale.h"
#include "dialogs/getlist.h"
#include "grid/EntryGrid.h"
#include "grid/EntryTableModel.h"
#include "intake/FolderCheck.h"
#include "mail/MailingJournal.h"
#include "shell/AppContext.h"
#include "store/Validation.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

Tfrmmain::Tfrmmain(AppContext &context, QWidget *parent)
    : QMainWindow(parent)
    , m_context(context)
    , m_model(new EntryTableModel(context.dmML.tblML, this))
    , m_progress(this)
    , m_view(context.dmML.tblML)
{
    setObjectName(QStringLiteral("frmmain"));
    resize(formscale::size(630, 460));
    buildControls();
    buildMenus();
    connectCommands();
    connectAuxCommands();
    connectIntakeCommands();
    connectSendCommands();

    Timer1.setInterval(AutoScanDelayMs);
    Timer1.setSingleShot(false);
    connect(&Timer1, &QTimer::timeout, this, &Tfrmmain::btngetoutlookClick);

    connect(btngetoutlook, &QPushButton::clicked, this, &Tfrmmain::btngetoutlookClick);
    connect(mnuCheckOutlook, &QAction::triggered, this, &Tfrmmain::btngetoutlookClick);
    connect(BitBtn1, &QPushButton::clicked, this, &QWidget::close);
    connect(mnuExit, &QAction::triggered, this, &QWidget::close);
    connect(rdball, &QRadioButton::clicked, this, &Tfrmmain::rdballClick);
    connect(rdbfilter, &QRadioButton::clicked, this, &Tfrmmain::rdballClick);
    connect(edtfilter, &QLineEdit::textChanged, this, &Tfrmmain::edtfilterChange);
    connect(cmbsort, &QComboBox::currentIndexChanged, this, &Tfrmmain::cmbsortChange);
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        // Records added or removed elsewhere show in the count too.
        if (!m_context.dmML.tblML.controlsDisabled())
            lblcount->setText(QString::number(m_model->rowCount()) + QStringLiteral(" Records"));
    });
    connect(DBGrid1, &TEntryGrid::deleteRequested, this, &Tfrmmain::DBGrid1DeleteKey);
    connect(m_model, &EntryTableModel::editFailed, this, [this](const QString &why) { m_context.prompts.error(why); });

    setFolderCheck([this] { runFolderCheck(); });

    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

Tfrmmain::~Tfrmmain() = default;

void Tfrmmain::FormCreate(const QString &executablePath)
{
    m_context.programDir = programDirectory(executablePath);
    m_commands->setProgramDir(m_context.programDir);
}

void Tfrmmain::runFolderCheck()
{
    FolderCheck check(m_context.settings, m_context.lists, m_context.rules, m_context.prompts);
    TfrmExtractentries window(check, this);
    window.exec();
    // The general error report, once the window is gone.
    if (!window.failure().isEmpty())
        m_context.prompts.error(window.failure());
}

void Tfrmmain::setFolderCheck(std::function<void()> check)
{
    m_folderCheck = std::move(check);
    btngetoutlook->setEnabled(bool(m_folderCheck));
    mnuCheckOutlook->setEnabled(bool(m_folderCheck));
}

void Tfrmmain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void Tfrmmain::FormShow()
{
    SettingsStore(m_context.programDir, m_context.prompts).Loadentries(m_context.settings, m_context.lists);
    cmbsort->setCurrentIndex(0);
    cmbsortChange();
    rdballClick();
    setWindowTitle(title());
    m_files = std::make_unique<WorkingFiles>(m_context.programDir, m_context.prompts);
    m_files->load(m_context.log, m_context.errors);
    QTimer::singleShot(0, this, [this] { sendOutbox(OutboxRun::Automatic); });
    if (!QFileInfo::exists(QDir(m_context.programDir).filePath(MailingJournal::fileName()))) {
        if (m_context.settings.AutoScan)
            Timer1.start();
        return;
    }
    // Once the window is up, as resuming opens the send window over it; the
    // automatic check waits for the answer.
    QTimer::singleShot(0, this, [this] {
        offerMailingResume();
        if (m_context.settings.AutoScan)
            Timer1.start();
    });
}

bool Tfrmmain::FormClose()
{
    return !m_files || m_files->save(m_context.log, m_context.errors);
}

void Tfrmmain::closeEvent(QCloseEvent *event)
{
    if (!m_shown || FormClose()) {
        Timer1.stop();
        event->accept();
    } else {
        event->ignore();
    }
}

bool Tfrmmain::eventFilter(QObject *watched, QEvent *event)
{
    // Columns count only once the grid is visible, so fit again when it shows.
    if (watched == DBGrid1 && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        Panel2Resize();
    return QMainWindow::eventFilter(watched, event);
}

void Tfrmmain::Panel2Resize()
{
    DBGrid1->ResizeToFit();
}

void Tfrmmain::btngetoutlookClick()
{
    Timer1.stop();
    if (!m_folderCheck)
        return;
    DisplayHold hold(*this);
    m_folderCheck();
}

void Tfrmmain::edtfilterChange()
{
    rdballClick();
}

void Tfrmmain::rdballClick()
{
    m_view.setFilter(edtfilter->text(), rdbfilter->isChecked());
    lblcount->setText(m_view.countText());
}

void Tfrmmain::cmbsortChange()
{
    m_view.setOrdering(cmbsort->currentIndex());
}

void Tfrmmain::newformpreparation(bool hold)
{
    if (hold) {
        m_view.hold();
    } else {
        m_view.release();
        lblcount->setText(m_view.countText());
    }
}

void Tfrmmain::DBGrid1DeleteKey()
{
    if (m_context.prompts.confirm(QStringLiteral("Delete record?")) != Prompts::Answer::Yes)
        return;
    try {
        m_context.dmML.tblML.deleteCurrent();
    } catch (const TableError &e) {
        m_context.prompts.error(e.message());
    }
}

void Tfrmmain::showprogress(bool show, int position, int total, const QString &message)
{
    m_progress.showprogress(show, position, total, message);
}

bool Tfrmmain::validemailaddress(const QString &address) const
{
    return ::validemailaddress(address, m_context.settings, m_context.lists);
}
