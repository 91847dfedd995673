// Program start: the guard, the main window, the data module, the loop.
#include "platform/instance/OneInstance.h"
#include "platform/instance/TerminationNotifier.h"
#include "shell/AppContext.h"
#include "shell/InstanceRaise.h"
#include "shell/QtPrompts.h"
#include "shell/QuillmarApplication.h"
#include "shell/main.h"

#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>
#include <exception>

namespace {

// Where Qt draws nowhere a message box would wait for a click nobody can give.
bool hasScreen()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
// Qt aborts with a plugin error when there is no display; say it plainly.
bool displayMissing(int argc, char **argv)
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "-platform") == 0 || qstrcmp(argv[i], "--platform") == 0)
            return false;
    }
    return true;
}
#else
bool displayMissing(int, char **)
{
    return false;
}
#endif

} // namespace

int main(int argc, char **argv)
{
    // Taken before Qt removes the options it knows, so they are handed over as typed.
    QStringList params;
    for (int i = 1; i < argc; ++i)
        params << QString::fromLocal8Bit(argv[i]);
    if (displayMissing(argc, argv)) {
        std::fputs("quillmar: there is no display to open the window on (neither DISPLAY nor "
                   "WAYLAND_DISPLAY is set). Start it from a desktop session.\n",
                   stderr);
        return 1;
    }
    QuillmarApplication app(argc, argv);
    QApplication::setApplicationDisplayName(Tfrmmain::title());
    // From here on SIGTERM waits for the loop rather than killing us mid-write.
    TerminationNotifier termination;

    QtPrompts prompts;
    app.setPrompts(&prompts);
    AppContext context(prompts);
    Tfrmmain frmmain(context);
    prompts.setParent(&frmmain);

    TOneInstance OneInstance1;
    raiseOnShowRequest(OneInstance1, &frmmain);
    try {
        const QString exe = QCoreApplication::applicationFilePath();
        if (OneInstance1.Loaded(QFileInfo(exe).fileName(), params) == TOneInstance::Outcome::HandedOver) {
            // Ending without a word would look as if the start had failed.
            const QString notice = alreadyRunningNotice(OneInstance1);
            if (!notice.isEmpty()) {
                std::fprintf(stderr, "quillmar: %s\n", qPrintable(notice));
                if (OneInstance1.runningCopyOnThisDisplay() == false && hasScreen()) {
                    QObject::connect(&termination, &TerminationNotifier::terminationRequested, &app,
                                     [] { QApplication::closeAllWindows(); });
                    prompts.information(notice);
                }
            }
            return 0;
        }
    } catch (const std::exception &e) {
        prompts.error(QString::fromUtf8(e.what()));
        return 1;
    }
    frmmain.FormCreate(QCoreApplication::applicationFilePath());
    context.mapi = std::make_unique<SMapi>(context.programDir);
    if (!context.mapi->loadError().isEmpty())
        prompts.error(context.mapi->loadError());

    if (!context.dmML.DataModuleCreate(context.programDir))
        prompts.warning(context.dmML.openFailedWarning());
    else if (context.dmML.tblML.readOnly())
        prompts.warning(TdmML::readOnlyMessage());

    // Ends as the window's close does: files written, journals removed.
    QObject::connect(&termination, &TerminationNotifier::terminationRequested, &frmmain, [&frmmain] {
        QApplication::closeAllWindows();
        if (!frmmain.isVisible())
            QCoreApplication::quit();
    });
    frmmain.show();
    return app.exec();
}
