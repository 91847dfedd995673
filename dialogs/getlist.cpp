#include "dialogs/getlist.h"

#include "dialogs/FormScale.h"

#include "intake/FolderCheck.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

#include <exception>

TfrmExtractentries::TfrmExtractentries(FolderCheck &check, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_check(check)
{
    setObjectName(QStringLiteral("frmExtractentries"));
    setModal(true);
    auto *frame = new QVBoxLayout(this);
    Label1 = new QLabel(QStringLiteral("Accessing Outlook Entries.."), this);
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label1->setAlignment(Qt::AlignCenter);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, 0);
    ProgressBar1->setValue(0);
    frame->addWidget(Label1);
    frame->addWidget(ProgressBar1);
    setFixedSize(formscale::size(300, 90));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Timer1.setInterval(StartDelayMs);
    Timer1.setSingleShot(true);
    connect(&Timer1, &QTimer::timeout, this, &TfrmExtractentries::OpenBtnClick);
}

void TfrmExtractentries::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TfrmExtractentries::FormShow()
{
    Timer1.start();
}

void TfrmExtractentries::reject()
{
    // No close button and no Esc: the check ends the window itself.
    if (!m_running && !Timer1.isActive())
        QDialog::reject();
}

void TfrmExtractentries::OpenBtnClick()
{
    Timer1.stop();
    m_running = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FolderCheck::Progress progress;
    progress.setMaximum = [this](int count) {
        ProgressBar1->setRange(0, count);
        ProgressBar1->setValue(0);
    };
    progress.advance = [this] {
        ProgressBar1->setValue(ProgressBar1->value() + 1);
        ProgressBar1->repaint();
    };
    try {
        m_check.run(progress);
    } catch (const std::exception &e) {
        m_failure = QString::fromUtf8(e.what());
    }
    QApplication::restoreOverrideCursor();
    m_running = false;
    accept();
}
