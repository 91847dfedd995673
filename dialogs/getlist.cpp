#include "dialogs/getlist.h"

#include "dialogs/FormScale.h"

#include "core/Progress.h"

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
    // The check holds the event loop; the bar paints itself at once, and
    // only when its text or fill changed, so passing it on only as often as
    // an eye follows bounds the painting: each message's paint cost more
    // than its check.
    ThrottledProgress shown([this](bool, int position, int total, const QString &) {
        if (ProgressBar1->maximum() != total)
            ProgressBar1->setRange(0, total);
        ProgressBar1->setValue(position);
    });
    int position = 0;
    int total = 0;
    FolderCheck::Progress progress;
    progress.setMaximum = [&](int count) {
        total = count;
        position = 0;
        ProgressBar1->setRange(0, count);
        ProgressBar1->setValue(0);
    };
    progress.advance = [&] { shown.update(++position, total); };
    try {
        m_check.run(progress);
    } catch (const std::exception &e) {
        m_failure = QString::fromUtf8(e.what());
    }
    QApplication::restoreOverrideCursor();
    m_running = false;
    accept();
}
