// The single-instance guard between real processes: copies of a small child
// program, each test under its own executable name so runs never meet.
#include "platform/instance/InstanceObjects.h"
#include "platform/instance/OneInstance.h"
#include "testlib/TestEnv.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <signal.h>
#include <stdexcept>

namespace {

constexpr int LongWaitMs = 30000;

class Child
{
public:
    explicit Child(const QString &program, const QStringList &args = {}, const QList<QPair<QString, QString>> &env = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const auto &[key, value] : env)
            environment.insert(key, value);
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, args);
    }

    ~Child()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        signal(SIGCONT);
        quit();
        if (!m_process.waitForFinished(LongWaitMs))
            m_process.kill();
        m_process.waitForFinished();
    }

    // The first unread line that starts with prefix; empty when none comes.
    QString waitLine(const QString &prefix, int ms = LongWaitMs)
    {
        QDeadlineTimer deadline(ms);
        for (;;) {
            drain();
            for (qsizetype i = 0; i < m_lines.size(); ++i)
                if (m_lines.at(i).startsWith(prefix))
                    return m_lines.takeAt(i);
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return {};
            m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
    }

    QStringList allLines()
    {
        drain();
        return m_lines;
    }

    bool endsCleanly()
    {
        return m_process.waitForFinished(LongWaitMs) && m_process.exitStatus() == QProcess::NormalExit
               && m_process.exitCode() == 0;
    }

    void quit() { m_process.write("quit\n"); }
    void signal(int number) { ::kill(pid_t(m_process.processId()), number); }
    QProcess &process() { return m_process; }

private:
    void drain()
    {
        while (m_process.canReadLine())
            m_lines << QString::fromUtf8(m_process.readLine()).trimmed();
    }

    QProcess m_process;
    QStringList m_lines;
};

int loadedMs(const QString &line)
{
    return line.section(QStringLiteral("ms="), 1).toInt();
}

// The parameters of a "STARTED shown=1 p:<base64> ..." line.
QStringList startedParams(const QString &line)
{
    QStringList params;
    for (const QString &w : line.split(QLatin1Char(' ')))
        if (w.startsWith(QStringLiteral("p:")))
            params << QString::fromUtf8(QByteArray::fromBase64(w.mid(2).toLatin1()));
    return params;
}

} // namespace

class TestOneInstance : public QObject
{
    Q_OBJECT

private:
    TestEnv m_env;
    QTemporaryDir m_bin;

    // A copy of the child under a name no other test or run uses.
    QString child(const QString &tag)
    {
        const QString path
            = QDir(m_bin.path()).filePath(QStringLiteral("qm%1-%2").arg(QCoreApplication::applicationPid()).arg(tag));
        if (!QFile::exists(path) && !QFile::copy(QStringLiteral(INSTANCE_CHILD), path))
            qFatal("cannot copy the child program");
        return path;
    }

    static platform::InstanceNames names(const QString &program)
    {
        return platform::instanceNames(QFileInfo(program).fileName());
    }

    static QPair<QString, QString> waitMs(int ms)
    {
        return {QStringLiteral("QUILLMAR_TEST_WAIT_MS"), QString::number(ms)};
    }

private Q_SLOTS:
    void laterStartHandsOverParametersAndEnds()
    {
        const QString program = child(QStringLiteral("handover"));
        Child first(program);
        QCOMPARE(first.waitLine(QStringLiteral("LOADED")).section(QLatin1Char(' '), 1, 1), QStringLiteral("first"));
        QVERIFY(first.waitLine(QStringLiteral("READY")).size() > 0);

        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
        const QString eAcute(QChar(0xE9));
        const QList<QPair<QString, QString>> table = {
            {QStringLiteral("first"), QStringLiteral("first")},
            {QString(), QString()},
            {QString(350, QLatin1Char('a')), QString(300, QLatin1Char('a'))},
            {eAcute.repeated(200), eAcute.repeated(150)}, // 2 bytes each
            {QString(299, QLatin1Char('b')) + emoji, QString(299, QLatin1Char('b'))}, // 303 bytes
            {QString(301, QChar(0x20AC)), QString(100, QChar(0x20AC))}, // 3 bytes each
            {QString(298, QLatin1Char('c')) + eAcute + QLatin1Char('x'), QString(298, QLatin1Char('c')) + eAcute},
            {QStringLiteral("two words"), QStringLiteral("two words")},
            {QStringLiteral("-style=fusion"), QStringLiteral("-style=fusion")},
            {QStringLiteral("tenth"), QStringLiteral("tenth")},
            {QStringLiteral("eleventh"), {}},
            {QStringLiteral("twelfth"), {}},
        };
        QStringList sent, expected;
        for (const auto &[in, out] : table) {
            sent << in;
            if (expected.size() < 10)
                expected << out;
        }

        Child second(program, sent);
        QVERIFY(second.waitLine(QStringLiteral("LOADED handedover")).size() > 0);
        QVERIFY(second.endsCleanly());
        QVERIFY(second.allLines().filter(QStringLiteral("READY")).isEmpty());

        const QString started = first.waitLine(QStringLiteral("STARTED"));
        QVERIFY2(started.startsWith(QStringLiteral("STARTED shown=1 ")), qPrintable(started.left(40)));
        QCOMPARE(startedParams(started), expected);
        QCOMPARE(first.waitLine(QStringLiteral("SIGNAL")), QStringLiteral("SIGNAL count=10"));

        // The first copy released the semaphore, so the next start is not
        // kept waiting; with the halt it ends at once, saying nothing.
        Child halting(program, {QStringLiteral("again")},
                      {{QStringLiteral("QUILLMAR_TEST_HALT"), QStringLiteral("1")}});
        QVERIFY(halting.endsCleanly());
        QVERIFY(halting.allLines().isEmpty());
        QCOMPARE(startedParams(first.waitLine(QStringLiteral("STARTED"))), QStringList{QStringLiteral("again")});

        // Ending normally removes the named objects.
        first.quit();
        QVERIFY(first.endsCleanly());
        QVERIFY(!platform::SharedBlock::exists(names(program).block));
        QVERIFY(!platform::NamedSemaphore::open(names(program).semaphore));
    }

    void differentExecutableNamesDoNotMeet()
    {
        Child one(child(QStringLiteral("one")));
        QVERIFY(one.waitLine(QStringLiteral("LOADED first")).size() > 0);
        Child other(child(QStringLiteral("other")));
        QVERIFY(other.waitLine(QStringLiteral("LOADED first")).size() > 0);
        QVERIFY(other.waitLine(QStringLiteral("READY")).size() > 0);
        QVERIFY(one.waitLine(QStringLiteral("READY")).size() > 0);
    }

    void deadOwnerIsReplacedAtOnce_data()
    {
        QTest::addColumn<bool>("killed");
        QTest::newRow("killed first copy") << true;
        // A block whose id is a live process of another program, with the
        // semaphore at 0, as a crashed copy and a reused process id leave it.
        QTest::newRow("id of another program") << false;
    }

    void deadOwnerIsReplacedAtOnce()
    {
        QFETCH(bool, killed);
        const QString program = child(killed ? QStringLiteral("killed") : QStringLiteral("foreign"));
        std::unique_ptr<Child> first;
        std::unique_ptr<platform::SharedBlock> leftBlock;
        std::unique_ptr<platform::NamedSemaphore> leftSemaphore;
        if (killed) {
            first = std::make_unique<Child>(program);
            QVERIFY(first->waitLine(QStringLiteral("READY")).size() > 0);
            first->process().kill();
            QVERIFY(first->process().waitForFinished(LongWaitMs));
        } else {
            platform::SharedBlock::Opened how{};
            leftBlock = platform::SharedBlock::open(names(program).block, 3018, &how);
            QVERIFY(leftBlock);
            leftBlock->storeInt32(0, qint32(QCoreApplication::applicationPid()));
            leftSemaphore = platform::NamedSemaphore::openOrCreate(names(program).semaphore, 0);
            QVERIFY(leftSemaphore);
        }
        QVERIFY(platform::SharedBlock::exists(names(program).block));

        Child next(program); // with the full 10 s waits
        const QString loaded = next.waitLine(QStringLiteral("LOADED"));
        QVERIFY2(loaded.startsWith(QStringLiteral("LOADED first")), qPrintable(loaded));
        QVERIFY2(loaded.size() > 0 && loadedMs(loaded) < 1000, qPrintable(loaded));
        QVERIFY(next.waitLine(QStringLiteral("READY")).size() > 0);

        Child later(program, {QStringLiteral("x")});
        QVERIFY(later.waitLine(QStringLiteral("LOADED handedover")).size() > 0);
        QCOMPARE(startedParams(next.waitLine(QStringLiteral("STARTED"))), QStringList{QStringLiteral("x")});
    }

    void frozenOwnerIsBypassedAfterTheWait()
    {
        const QString program = child(QStringLiteral("frozen"));
        Child frozen(program);
        QVERIFY(frozen.waitLine(QStringLiteral("READY")).size() > 0);
        frozen.signal(SIGSTOP);

        Child next(program, {}, {waitMs(300)});
        const QString loaded = next.waitLine(QStringLiteral("LOADED"));
        QVERIFY2(loaded.startsWith(QStringLiteral("LOADED first")), qPrintable(loaded));
        QVERIFY2(loadedMs(loaded) >= 300 && loadedMs(loaded) < 5000, qPrintable(loaded));
        QVERIFY(next.waitLine(QStringLiteral("READY")).size() > 0);

        // Thawed, the old copy no longer owns the block: starts go to the new one.
        frozen.signal(SIGCONT);
        Child later(program, {QStringLiteral("y")});
        QVERIFY(later.waitLine(QStringLiteral("LOADED handedover")).size() > 0);
        QCOMPARE(startedParams(next.waitLine(QStringLiteral("STARTED"))), QStringList{QStringLiteral("y")});

        // The old copy leaves the new one's objects alone when it ends.
        frozen.quit();
        QVERIFY(frozen.endsCleanly());
        QVERIFY(platform::SharedBlock::exists(names(program).block));
        next.quit();
        QVERIFY(next.endsCleanly());
        QVERIFY(!platform::SharedBlock::exists(names(program).block));
    }

    void semaphoreLeftTakenLocksOutOnlyOnce()
    {
        const QString program = child(QStringLiteral("locked"));
        Child owner(program);
        QVERIFY(owner.waitLine(QStringLiteral("READY")).size() > 0);
        {
            // A later start that died holding the semaphore.
            auto semaphore = platform::NamedSemaphore::open(names(program).semaphore);
            QVERIFY(semaphore);
            QVERIFY(semaphore->wait(LongWaitMs));
        }

        Child next(program, {}, {waitMs(300)});
        QVERIFY(next.waitLine(QStringLiteral("LOADED first")).size() > 0);
        QVERIFY(next.waitLine(QStringLiteral("READY")).size() > 0);

        Child later(program, {QStringLiteral("z")});
        QVERIFY(later.waitLine(QStringLiteral("LOADED handedover")).size() > 0);
        QCOMPARE(startedParams(next.waitLine(QStringLiteral("STARTED"))), QStringList{QStringLiteral("z")});
    }

    void secondGuardInOneProcessIsRefused()
    {
        auto guard = std::make_unique<TOneInstance>();
        try {
            TOneInstance another;
            QFAIL("a second guard was accepted");
        } catch (const std::logic_error &e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Drop only one of these components on your form !"));
        }
        guard.reset();
        TOneInstance afterwards; // the refusal did not count as a guard
    }
};

QTEST_GUILESS_MAIN(TestOneInstance)
#include "tst_oneinstance.moc"
