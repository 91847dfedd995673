// Small shell pieces: the program directory, the progress window, the
// application's report of uncaught failures and the raise for a later start.
#include "testlib/ScriptedPrompts.h"

#include "core/Paths.h"
#include "dialogs/FormScale.h"
#include "dialogs/progress.h"
#include "platform/instance/OneInstance.h"
#include "shell/InstanceRaise.h"
#include "shell/QuillmarApplication.h"

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <stdexcept>

class TestShellParts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void programDirectory_data()
    {
        QTest::addColumn<QString>("exe");
        QTest::addColumn<QString>("dir");
        QTest::newRow("posix") << QStringLiteral("/opt/q/bin/quillmar") << QStringLiteral("/opt/q/bin/");
        QTest::newRow("windows") << QStringLiteral("C:\\Tools\\q.exe") << QStringLiteral("C:\\Tools\\");
        QTest::newRow("drive only") << QStringLiteral("C:q.exe") << QStringLiteral("C:/");
        QTest::newRow("no directory") << QStringLiteral("quillmar") << QString();
        QTest::newRow("blanks trimmed") << QStringLiteral("  /a b/quillmar") << QStringLiteral("/a b/");
    }

    void programDirectory()
    {
        QFETCH(QString, exe);
        QFETCH(QString, dir);
        QCOMPARE(::programDirectory(exe), dir);
    }

    void progressArithmetic_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("percent");
        QTest::newRow("past the end") << 7 << 5 << 100;
        QTest::newRow("a third") << 1 << 3 << 33;
        QTest::newRow("two thirds truncates") << 2 << 3 << 66;
        QTest::newRow("start") << 0 << 10 << 0;
        QTest::newRow("no total keeps the gauge") << 4 << 0 << -1;
        QTest::newRow("large lists do not overflow") << 2000000000 << 2100000000 << 95;
    }

    void progressArithmetic()
    {
        QFETCH(int, position);
        QFETCH(int, total);
        QFETCH(int, percent);
        QCOMPARE(progressPercent(position, total), percent);
    }

    void progressWindowLifecycle()
    {
        QWidget main;
        ProgressDisplay progress(&main);
        progress.showprogress(true, 1, 1, QStringLiteral("one item"));
        QVERIFY(!progress.window()); // a one-item job shows nothing
        QVERIFY(!main.isVisible());

        progress.showprogress(true, 1, 3, QStringLiteral("Importing"));
        QVERIFY(progress.window());
        QVERIFY(main.isVisible());
        QCOMPARE(progress.window()->size(), formscale::size(297, 129));
        QCOMPARE(progress.window()->Gauge->value(), 33);
        QPointer<TdlgProgress> first = progress.window();

        progress.showprogress(true, 9, 0, QStringLiteral("counting"));
        QCOMPARE(progress.window(), first.data()); // at most one window
        QCOMPARE(progress.window()->lblmessage->text(), QStringLiteral("counting"));
        QCOMPARE(progress.window()->Gauge->value(), 33);

        progress.showprogress(false, 0, 0, QString());
        QVERIFY(!progress.window());
        QVERIFY(first.isNull());
        progress.showprogress(false, 0, 0, QString()); // nothing to remove
    }

    void showRequestRestoresTheWindow()
    {
        QWidget window;
        window.showMinimized();
        QVERIFY(window.isMinimized());
        TOneInstance guard;
        raiseOnShowRequest(guard, &window);
        Q_EMIT guard.showRequested();
        QVERIFY(!window.isMinimized());
    }
};

// The application object must be ours for the failure report to apply.
int main(int argc, char **argv)
{
    QuillmarApplication app(argc, argv);
    ScriptedPrompts prompts;
    app.setPrompts(&prompts);

    // An uncaught failure in an event handler reaches the report and the loop goes on.
    QObject thrower;
    QTimer::singleShot(0, &thrower, [] { throw std::runtime_error("Automation error: folder gone"); });
    QTimer::singleShot(10, &app, [&] { app.quit(); });
    app.exec();
    if (prompts.texts(ScriptedPrompts::Kind::Error) != QStringList{QStringLiteral("Automation error: folder gone")}) {
        qCritical("the uncaught failure was not reported with its own text");
        return 1;
    }

    TestShellParts t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_shellparts.moc"
