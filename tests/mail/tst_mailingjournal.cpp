// The record of a mailing under way: written and read back, refused when
// damaged, kept or removed as the mailing ends, and the point a broken-off
// mailing goes on from, with the send loop itself.
#include "testlib/FileSizeLimit.h"
#include "testlib/TestEnv.h"

#include "mail/BulkSend.h"
#include "mail/MailingJournal.h"
#include "store/UniqueRecipients.h"

#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <optional>
#include <stdexcept>

namespace {

MailingRecord sample()
{
    MailingRecord m;
    m.subject = QString::fromUtf8("Grüße, \"news\" – spring");
    m.text = QString::fromUtf8("Line one\r\nLine two\ttabbed, a NUL ") + QChar(0) + QString(300, QLatin1Char('x'));
    m.attachments = {QString::fromUtf8("/tmp/Übersicht.pdf"), QStringLiteral("/tmp/a \"quoted\" name.txt")};
    m.to = {QStringLiteral("owner@example.org")};
    m.cc = {QStringLiteral("\"Doe, John\" <john@example.org>"), QStringLiteral("copy@example.org")};
    m.receipt = true;
    m.category = QStringLiteral("news");
    return m;
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void overwrite(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// The loop's steps as a mail system that places messages until a given
// one, where the process "dies"; addresses holding "bad" do not resolve.
class PlacingSteps : public BulkSendSteps
{
public:
    PlacingSteps(MailingJournal &journal, int dieAt)
        : m_journal(journal)
        , m_dieAt(dieAt)
    {
    }

    bool addAddress(const QString &address, bool) override
    {
        if (address.contains(QLatin1String("bad")))
            return false;
        m_collecting << address;
        return true;
    }
    void progress(int, int, const QString &) override { }
    void pumpEvents() override { }
    bool breakConfirmed() override { return false; }
    void sendMessage() override
    {
        if (int(messages.size()) == m_dieAt)
            throw std::runtime_error("killed");
        messages << m_collecting;
        m_collecting.clear();
    }
    void messagePlaced(const QString &lastAddress, int done) override { m_journal.placed(lastAddress, done); }

    QList<QStringList> messages;

private:
    MailingJournal &m_journal;
    int m_dieAt;
    QStringList m_collecting;
};

} // namespace

class TestMailingJournal : public QObject
{
    Q_OBJECT

    TestEnv m_env;

    QString journalPath() const { return MailingJournal(m_env.programDir()).path(); }

private Q_SLOTS:
    void init() { QFile::remove(journalPath()); }

    void writtenAndReadBack()
    {
        MailingJournal journal(m_env.programDir());
        QCOMPARE(journal.path(), m_env.programDir() + QStringLiteral("mailing.journal"));
        QVERIFY(!journal.exists());
        MailingRecord m = sample();
        QString why;
        QVERIFY2(journal.begin(m, &why), qPrintable(why));
        QVERIFY(journal.exists());

        MailingRecord back;
        QVERIFY2(MailingJournal(m_env.programDir()).read(&back, &why), qPrintable(why));
        QCOMPARE(back, m);
        journal.placed(QString::fromUtf8("zoë@example.org"), 1500);
        QVERIFY2(MailingJournal(m_env.programDir()).read(&back, &why), qPrintable(why));
        m.lastPlaced = QString::fromUtf8("zoë@example.org");
        m.placed = 1500;
        QCOMPARE(back, m);
        QCOMPARE(journal.mailing(), m);

        // A resumed mailing starts from its point.
        MailingJournal again(m_env.programDir());
        QVERIFY(again.begin(m, &why));
        QVERIFY(again.read(&back, &why));
        QCOMPARE(back, m);
        QVERIFY(QDir(m_env.programDir()).entryList(QDir::Files | QDir::Hidden).size() == 1);
    }

    void damagedRecordsRefused_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to"); // "" with from "" empties the file; "*" with a length cuts it
        QTest::addColumn<QString>("says");
        const QString damaged = QStringLiteral("is damaged");
        QTest::newRow("empty") << QByteArray() << QByteArray() << damaged;
        QTest::newRow("cut in the message") << QByteArray("*") << QByteArray("200") << damaged;
        QTest::newRow("cut before its end") << QByteArray("*") << QByteArray("-3") << damaged;
        QTest::newRow("not a record") << QByteArray("{") << QByteArray("hello {") << damaged;
        QTest::newRow("another format") << QByteArray("\"format\":1") << QByteArray("\"format\":7")
                                        << QStringLiteral("is not a record of a mailing");
        QTest::newRow("count without an address")
            << QByteArray("\"lastPlaced\":\"b@x.org\"") << QByteArray("\"lastPlaced\":\"\"") << damaged;
        QTest::newRow("negative count") << QByteArray("\"placed\":8") << QByteArray("\"placed\":-8") << damaged;
        QTest::newRow("fractional count") << QByteArray("\"placed\":8") << QByteArray("\"placed\":8.5") << damaged;
        QTest::newRow("a number among the attachments")
            << QByteArray("\"attachments\":[") << QByteArray("\"attachments\":[1,") << damaged;
        QTest::newRow("receipt missing") << QByteArray("\"receipt\":true") << QByteArray("\"receipted\":true")
                                         << damaged;
    }

    void damagedRecordsRefused()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QString, says);
        MailingJournal journal(m_env.programDir());
        QString why;
        QVERIFY(journal.begin(sample(), &why));
        journal.placed(QStringLiteral("b@x.org"), 8);
        QByteArray bytes = bytesOf(journal.path());
        if (from == "*") {
            const int n = to.toInt();
            bytes = n > 0 ? bytes.left(n) : bytes.chopped(-n);
        } else if (from.isEmpty()) {
            bytes.clear();
        } else {
            QVERIFY(bytes.contains(from));
            bytes.replace(from, to);
        }
        overwrite(journal.path(), bytes);

        MailingRecord back;
        QVERIFY(!MailingJournal(m_env.programDir()).read(&back, &why));
        QVERIFY2(why.startsWith(journal.path() + QLatin1Char(' ')), qPrintable(why));
        QVERIFY2(why.contains(says), qPrintable(why));
        QCOMPARE(bytesOf(journal.path()), bytes); // left as it was
    }

    void unreadableRecordNamed()
    {
        MailingJournal journal(m_env.programDir());
        QString why;
        QVERIFY(journal.begin(sample(), &why));
        QFile::setPermissions(journal.path(), QFileDevice::Permissions());
        auto restore = qScopeGuard([&] { QFile::setPermissions(journal.path(), QFileDevice::ReadOwner); });
        if (QFile(journal.path()).open(QIODevice::ReadOnly))
            QSKIP("permissions do not bind this user");
        MailingRecord back;
        QVERIFY(!journal.read(&back, &why));
        QVERIFY2(why.startsWith(journal.path() + QStringLiteral(" could not be read (")), qPrintable(why));
    }

    // Kept only while part of the list has the message and part has not;
    // an update that failed is written again at the end, and a record that
    // still cannot be right goes, as resuming from it would mail some twice.
    void keptOrRemovedAtTheEnd_data()
    {
        QTest::addColumn<bool>("finished");
        QTest::addColumn<int>("placed");
        QTest::addColumn<bool>("updateFails");
        QTest::addColumn<bool>("endFails");
        QTest::addColumn<bool>("kept");
        QTest::newRow("finished") << true << 9 << false << false << false;
        QTest::newRow("broken off after some") << false << 4 << false << false << true;
        QTest::newRow("broken off before any") << false << 0 << false << false << false;
        QTest::newRow("an update failed, written at the end") << false << 4 << true << false << true;
        QTest::newRow("an update failed, and again at the end") << false << 4 << true << true << false;
        QTest::newRow("an update failed, then finished") << true << 9 << true << false << false;
    }

    void keptOrRemovedAtTheEnd()
    {
        QFETCH(bool, finished);
        QFETCH(int, placed);
        QFETCH(bool, updateFails);
        QFETCH(bool, endFails);
        QFETCH(bool, kept);
        MailingJournal journal(m_env.programDir());
        QString why;
        QVERIFY(journal.begin(sample(), &why));
        if (placed > 0)
            journal.placed(QStringLiteral("a@x.org"), 2);
        {
            std::optional<FileSizeLimit> full;
            if (updateFails)
                full.emplace(64);
            if (placed > 0)
                journal.placed(QStringLiteral("d@x.org"), placed);
        }
        QString problem;
        {
            std::optional<FileSizeLimit> full;
            if (endFails)
                full.emplace(64);
            problem = journal.end(finished);
        }
        QCOMPARE(journal.exists(), kept);
        if (endFails) {
            QVERIFY2(problem.startsWith(journal.path() + QStringLiteral(" could not be written (")),
                     qPrintable(problem));
            QVERIFY2(problem.contains(QStringLiteral("it stopped after d@x.org")), qPrintable(problem));
        } else {
            QCOMPARE(problem, QString());
        }
        MailingRecord back;
        if (kept) {
            QVERIFY2(journal.read(&back, &why), qPrintable(why));
            QCOMPARE(back.lastPlaced, QStringLiteral("d@x.org"));
            QCOMPARE(back.placed, qint64(placed));
        }
        QCOMPARE(journal.end(false), QString()); // once only
    }

    void notStartedWithoutItsRecord()
    {
        MailingJournal journal(m_env.programDir());
        QString why;
        {
            FileSizeLimit full(64);
            QVERIFY(!journal.begin(sample(), &why));
        }
        QVERIFY2(why.startsWith(journal.path() + QStringLiteral(" could not be written (")), qPrintable(why));
        QVERIFY(!journal.exists());
    }

    // A mailing that dies after some messages goes on from its record and
    // places every remaining address once: none twice, none left out.
    void resumedMailingPlacesTheRest_data()
    {
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("dieAt"); // messages placed before it dies
        QTest::newRow("four a message, dies before the third") << 4 << 2;
        QTest::newRow("one a message, dies before the sixth") << 1 << 5;
        QTest::newRow("dies before the first") << 4 << 0;
        QTest::newRow("dies before the last") << 5 << 4;
        QTest::newRow("a message of unresolved addresses before it dies") << 3 << 1;
    }

    void resumedMailingPlacesTheRest()
    {
        QFETCH(int, maximum);
        QFETCH(int, dieAt);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QStringList list;
        for (int i = 0; i < 23; ++i)
            list << QStringLiteral("a%1%2@x.org")
                        .arg(i, 2, 10, QLatin1Char('0'))
                        .arg(i >= 3 && i <= 5 ? QStringLiteral("bad") : QString());
        // With three a message, the second (three that do not resolve) is
        // never placed.
        list.sort(Qt::CaseInsensitive);

        MailingJournal dyingJournal(m_env.programDir());
        QString why;
        QVERIFY(dyingJournal.begin(sample(), &why));
        PlacingSteps dying(dyingJournal, dieAt);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, runBulkSend(list, maximum, dying));
        QCOMPARE(int(dying.messages.size()), dieAt);
        // Killed: its record is never ended.

        MailingJournal journal(m_env.programDir());
        MailingRecord recorded;
        QVERIFY2(journal.read(&recorded, &why), qPrintable(why));
        QCOMPARE(recorded.subject, sample().subject);
        QCOMPARE(recorded.lastPlaced.isEmpty(), dieAt == 0);
        const QStringList rest = recorded.lastPlaced.isEmpty() ? list : recipientsAfter(list, recorded.lastPlaced);
        QCOMPARE(recorded.placed, qint64(list.size() - rest.size()));

        QVERIFY(journal.begin(recorded, &why));
        PlacingSteps resumed(journal, -1);
        QCOMPARE(runBulkSend(rest, maximum, resumed).done, int(rest.size()));
        QCOMPARE(journal.end(true), QString());
        QVERIFY(!journal.exists());

        QStringList everyone;
        for (const QList<QStringList> *messages : {&dying.messages, &resumed.messages}) {
            for (const QStringList &m : *messages)
                everyone << m;
        }
        everyone.sort(Qt::CaseInsensitive);
        QCOMPARE(everyone, list.filter(QRegularExpression(QStringLiteral("^a\\d+@"))));
    }
};

QTEST_GUILESS_MAIN(TestMailingJournal)
#include "tst_mailingjournal.moc"
