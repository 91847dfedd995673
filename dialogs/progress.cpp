#include "dialogs/progress.h"

#include "dialogs/FormScale.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

TdlgProgress::TdlgProgress(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("dlgProgress"));
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(formscale::size(297, 129));
    auto *panel = new QFrame(this);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setGeometry(formscale::rect(0, 0, 297, 129));
    auto *bevel = new QFrame(panel);
    bevel->setFrameShape(QFrame::Box);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(formscale::rect(8, 8, 281, 113));
    lblmessage = new QLabel(panel);
    lblmessage->setObjectName(QStringLiteral("lblmessage"));
    lblmessage->setWordWrap(true);
    lblmessage->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblmessage->setGeometry(formscale::rect(24, 14, 249, 30));
    Gauge = new QProgressBar(panel);
    Gauge->setObjectName(QStringLiteral("Gauge"));
    Gauge->setRange(0, 100);
    Gauge->setValue(0);
    Gauge->setGeometry(formscale::rect(24, 48, 249, 25));
    btnCancel = new QPushButton(QStringLiteral("Cancel"), panel);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setToolTip(QStringLiteral("Stops the job after the item it is working on; what is done stays done"));
    btnCancel->setGeometry(formscale::rect(111, 84, 75, 25));
    connect(btnCancel, &QPushButton::clicked, this, &TdlgProgress::reject);
}

bool TdlgProgress::takeCancel()
{
    return std::exchange(m_cancelled, false);
}

void TdlgProgress::reject()
{
    m_cancelled = true;
    lblmessage->setText(QStringLiteral("Stopping..."));
}

void TdlgProgress::closeEvent(QCloseEvent *event)
{
    event->ignore();
    reject();
}

int progressPercent(int position, int total)
{
    if (total == 0)
        return -1;
    if (position > total)
        position = total;
    return int(std::clamp<qint64>(qint64(position) * 100 / total, 0, 100));
}

ProgressDisplay::ProgressDisplay(QWidget *mainWindow)
    : m_mainWindow(mainWindow)
{
}

ProgressDisplay::~ProgressDisplay()
{
    delete m_window.data();
}

bool ProgressDisplay::takeCancel()
{
    return m_window && m_window->takeCancel();
}

void ProgressDisplay::showprogress(bool show, int position, int total, const QString &message)
{
    if (!show) {
        delete m_window.data();
        return;
    }
    if (total == 1)
        return;
    if (m_mainWindow && !m_mainWindow->isVisible())
        m_mainWindow->show();
    if (!m_window) {
        m_window = new TdlgProgress(m_mainWindow);
        if (QScreen *screen = m_window->screen())
            m_window->move(screen->availableGeometry().center() - m_window->rect().center());
        m_window->show();
        m_window->btnCancel->setFocus();
    }
    m_window->lblmessage->setText(message);
    const int percent = progressPercent(position, total);
    if (percent >= 0)
        m_window->Gauge->setValue(percent);
    m_window->raise();
    // The job holds the event loop: let the window paint and its Cancel be
    // seen. Modality keeps every other window's input out meanwhile.
    QApplication::processEvents();
}
