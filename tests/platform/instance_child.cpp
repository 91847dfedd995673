// A program that runs the single-instance guard the way the real program
// does, so tests can start real first and later copies. It reports on
// stdout and ends when anything arrives on stdin.
#include "platform/instance/OneInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cstdio>

namespace {

void say(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    // Taken before Qt sees them, as the program does.
    QStringList params;
    for (int i = 1; i < argc; ++i)
        params << QString::fromLocal8Bit(argv[i]);

    QCoreApplication app(argc, argv);

    TOneInstance guard;
    // The request to show must come first: the window is up when the
    // parameters are handled.
    bool shown = false;
    QObject::connect(&guard, &TOneInstance::showRequested, [&shown] { shown = true; });
    if (qEnvironmentVariableIsSet("QUILLMAR_TEST_WAIT_MS"))
        guard.setWaitMilliseconds(qEnvironmentVariableIntValue("QUILLMAR_TEST_WAIT_MS"));
    guard.UseHaltToExit = qEnvironmentVariableIsSet("QUILLMAR_TEST_HALT");
    guard.OnInstanceStarted = [&shown](QObject *, const QStringList &received) {
        QString line = QStringLiteral("STARTED shown=%1").arg(shown ? 1 : 0);
        shown = false;
        for (const QString &p : received)
            line += QStringLiteral(" p:") + QString::fromLatin1(p.toUtf8().toBase64());
        say(line);
    };
    QObject::connect(&guard, &TOneInstance::instanceStarted,
                     [](const QStringList &received) { say(QStringLiteral("SIGNAL count=%1").arg(received.size())); });

    QElapsedTimer timer;
    timer.start();
    const auto outcome = guard.Loaded(QFileInfo(QCoreApplication::applicationFilePath()).fileName(), params);
    const bool first = outcome == TOneInstance::Outcome::FirstInstance;
    say(QStringLiteral("LOADED %1 ms=%2")
            .arg(first ? QStringLiteral("first") : QStringLiteral("handedover"))
            .arg(timer.elapsed()));
    if (!first)
        return 0;

    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    say(QStringLiteral("READY"));
    return app.exec();
}
