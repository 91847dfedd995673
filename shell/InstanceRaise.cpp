#include "shell/InstanceRaise.h"

#include "platform/instance/OneInstance.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

namespace {

void raiseWindows(QWidget *window)
{
    QWidgetList windows;
    if (window) {
        windows << window;
    } else {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowType() != Qt::Popup && w->windowType() != Qt::ToolTip)
                windows << w;
    }
    for (QWidget *w : std::as_const(windows)) {
        if (w->isMinimized())
            w->setWindowState((w->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        w->raise();
        w->activateWindow();
    }
    if (QWidget *modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

} // namespace

void raiseOnShowRequest(TOneInstance &guard, QWidget *window)
{
    // A direct call: the guard holds the later start until the window is up.
    QObject::connect(&guard, &TOneInstance::showRequested, &guard,
                     [window = QPointer<QWidget>(window)] { raiseWindows(window); });
}

QString alreadyRunningNotice(const TOneInstance &guard)
{
    const std::optional<bool> here = guard.runningCopyOnThisDisplay();
    if (here.value_or(false))
        return {};
    QString text = QStringLiteral("Quillmar is already running (process %1)").arg(guard.runningCopy());
    return text
           + (here.has_value()
                  ? QStringLiteral(" on another display, so its window cannot be brought to the front here.")
                  : QStringLiteral("; it has been asked to bring its window to the front."));
}
