// The record of calls' steps in the list file: written only inside the
// transaction of the change it stands for, a later step of a run standing
// for its earlier ones, runs apart from one another, and bounded.
#include "StoreTestUtil.h"
#include "store/HandledMessages.h"
#include "store/LoggedSteps.h"
#include "store/MLTable.h"
#include "store/SqliteDb.h"
#include "testlib/TestEnv.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestLoggedSteps : public QObject
{
    Q_OBJECT

    TestEnv m_env;

    void openNew(MLTable &table)
    {
        table.setFilePath(newTableFile(m_env.root()));
        table.open();
    }

    static void recordCommitted(MLTable &table, const QByteArray &tag)
    {
        MLTable::Transaction t(table);
        LoggedSteps(table).record(tag);
        t.commit();
    }

private Q_SLOTS:
    // A folder-check message's tag is never taken for a step's, whose record
    // would answer for it.
    void aMessageTagIsNoStep()
    {
        QVERIFY(LoggedSteps::isTag(LoggedSteps::tag(LoggedSteps::newRun(), 1)));
        QVERIFY(!LoggedSteps::isTag(HandledMessages::identity(u"<1@x>"_s, u"1.host"_s).toHex()));
    }

    void recordedOnlyWithItsTransaction()
    {
        MLTable table;
        openNew(table);
        const QByteArray tag = LoggedSteps::tag(LoggedSteps::newRun(), 1);
        // Outside a transaction there is no change it could stand for.
        QVERIFY_THROWS_EXCEPTION(TableError, LoggedSteps(table).record(tag));
        {
            MLTable::Transaction t(table);
            table.append(u"a@example.com"_s, u"news"_s, 0, u"c"_s);
            LoggedSteps(table).record(tag);
            QVERIFY(LoggedSteps(table).contains(tag));
        } // rolled back: neither the entry nor the record
        QVERIFY(!LoggedSteps(table).contains(tag));
        QCOMPARE(table.recordCount(), 0);
        recordCommitted(table, tag);
        table.close();
        table.open();
        QVERIFY(LoggedSteps(table).contains(tag));
    }

    void stepsOfARun_data()
    {
        QTest::addColumn<int>("asked");
        QTest::addColumn<bool>("sameRun");
        QTest::addColumn<bool>("stored");
        QTest::newRow("the step recorded") << 3 << true << true;
        QTest::newRow("an earlier step") << 2 << true << true;
        QTest::newRow("the next step") << 4 << true << false;
        QTest::newRow("another run's step") << 3 << false << false;
    }
    void stepsOfARun()
    {
        QFETCH(int, asked);
        QFETCH(bool, sameRun);
        QFETCH(bool, stored);
        MLTable table;
        openNew(table);
        const QByteArray run = LoggedSteps::newRun();
        recordCommitted(table, LoggedSteps::tag(run, 1));
        recordCommitted(table, LoggedSteps::tag(run, 3));
        const QByteArray other = LoggedSteps::newRun();
        QCOMPARE(LoggedSteps(table).contains(LoggedSteps::tag(sameRun ? run : other, asked)), stored);
    }

    // A file from before the record, or with its table dropped: nothing
    // was recorded, and the first record makes the table.
    void aFileWithoutTheRecord()
    {
        MLTable table;
        openNew(table);
        table.connection().exec("DROP TABLE IF EXISTS LoggedSteps");
        const QByteArray tag = LoggedSteps::tag(LoggedSteps::newRun(), 1);
        QVERIFY(!LoggedSteps(table).contains(tag));
        recordCommitted(table, tag);
        QVERIFY(LoggedSteps(table).contains(tag));
    }

    // One row a run however many its steps; the oldest runs beyond Runs go.
    void keepsTheLastRuns()
    {
        MLTable table;
        openNew(table);
        QList<QByteArray> runs;
        for (qint64 i = 0; i < LoggedSteps::Runs + 3; ++i)
            runs << LoggedSteps::newRun();
        {
            MLTable::Transaction t(table);
            for (const QByteArray &run : std::as_const(runs)) {
                for (qint64 step = 1; step <= 3; ++step)
                    LoggedSteps(table).record(LoggedSteps::tag(run, step));
            }
            t.commit();
        }
        RawDb raw(table.filePath());
        QCOMPARE(raw.scalar("SELECT count(*) FROM LoggedSteps"), LoggedSteps::Runs);
        for (int i = 0; i < 3; ++i)
            QVERIFY(!LoggedSteps(table).contains(LoggedSteps::tag(runs.at(i), 1)));
        QVERIFY(LoggedSteps(table).contains(LoggedSteps::tag(runs.at(3), 3)));
        QVERIFY(LoggedSteps(table).contains(LoggedSteps::tag(runs.last(), 3)));
    }
};

QTEST_GUILESS_MAIN(TestLoggedSteps)
#include "tst_loggedsteps.moc"
