// A mailing below its window: the unique list, the messages it is cut into,
// a test message, a stop, a message the mail system refuses and the send
// that goes on after the last address placed, through a recording mail
// library.
#include "mail/FakeMapi.h"
#include "testlib/FileSizeLimit.h"
#include "testlib/ScriptedPrompts.h"
#include "testlib/TestEnv.h"

#include "commands/Mailing.h"
#include "core/Settings.h"
#include "mail/Email.h"
#include "platform/mapi/MapiProfileKeys.h"
#include "platform/registry/Registry.h"
#include "store/MLSchema.h"
#include "store/MLTable.h"

#include <QFile>
#include <QLibrary>
#include <QTest>

#include <memory>
#include <optional>

using Kind = ScriptedPrompts::Kind;
using Outcome = Mailing::Outcome;

namespace {

const QString Extra = QStringLiteral("webmaster@x.org");
const QString Copy = QStringLiteral("copy@x.org");
const QString Hidden = QStringLiteral("hidden@x.org");

QString completion(int count, bool resumable = false)
{
    return QStringLiteral("Your e-mails to %1 recipients have been sent to your Outlook Outbox.").arg(count)
           + (resumable ? QStringLiteral("\nThe next start offers to send the rest of the mailing.") : QString());
}

// A message as the library got it, by recipient class.
struct Sent
{
    QStringList to, cc, bcc, files;
    QString subject, text;
    bool receipt = false;
};

QString text(const OptText &t)
{
    return t ? QString::fromStdString(*t) : QString();
}

Sent sent(const FakeCall &call)
{
    Sent s;
    for (const FakeRecip &r : call.recips) {
        QStringList *list = r.recipClass == MAPI_TO ? &s.to : r.recipClass == MAPI_CC ? &s.cc : &s.bcc;
        list->append(text(r.address).remove(QStringLiteral("SMTP:")));
    }
    for (const FakeFile &f : call.files)
        s.files << text(f.path);
    s.subject = text(call.subject);
    s.text = text(call.noteText);
    s.receipt = call.messageFlags & MAPI_RECEIPT_REQUESTED;
    return s;
}

} // namespace

class TestMailing : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    std::unique_ptr<SMapi> m_mapi;
    FakeMapiState *m_fake = nullptr;
    QString m_attachment;

    // A mailing over a list of the entries below.
    struct Run
    {
        Run(const TestMailing &test, int perMessage)
            : email(*test.m_mapi)
            , journal(test.m_env.programDir())
            , mailing(table, settings, email, prompts)
        {
            const QString path = test.m_env.programDir() + MLTable::defaultFileName();
            QFile::remove(path);
            createMailingListFile(path);
            table.setFilePath(path);
            table.open();
            MLTable::Transaction t(table);
            for (const QString &e : entries())
                table.append(e.section(QLatin1Char('|'), 0, 0), e.section(QLatin1Char('|'), 1), 0, QString());
            t.commit();
            settings.SendCount = perMessage;
            mailing.setJournal(&journal);
            mailing.setCallbacks(
                {{}, {}, [this](const QString &q) { return prompts.confirm(q) == Prompts::Answer::Yes; }});
            draft = {
                {Extra}, {Copy}, {Hidden}, {test.m_attachment}, QStringLiteral("News"), QStringLiteral("Hello\nlist"),
                true};
        }
        void filter(const QString &category)
        {
            table.setFilterCategory(category);
            table.setFiltered(!category.isEmpty());
        }
        // Runs whenever the mail system has taken a message.
        void afterMessage(std::function<void(int placed)> act)
        {
            QObject::connect(&email, &TEmail::OnAfterSendMail, &email, [this, act] { act(++placed); });
        }
        MailingRecord recorded() const
        {
            MailingRecord m;
            QString why;
            if (!journal.read(&m, &why))
                qWarning("%s", qPrintable(why));
            return m;
        }

        MLTable table;
        Settings settings;
        ScriptedPrompts prompts;
        TEmail email;
        MailingJournal journal;
        Mailing mailing;
        MessageDraft draft;
        int placed = 0;
    };

    QList<Sent> messages() const
    {
        QList<Sent> out;
        for (const FakeCall &c : m_fake->callsOf("MAPISendMail"))
            out << sent(c);
        return out;
    }

    // Eight unique entries, a blank and one that does not resolve among
    // them, two under another category; a duplicate in other letter case.
    static QStringList entries()
    {
        return {
            QStringLiteral("u04@x.org|news"), QStringLiteral("u01@x.org|news"),    QStringLiteral("s01@x.org|sports"),
            QStringLiteral("u03@x.org|news"), QStringLiteral("u02bad@x.org|news"), QStringLiteral("   |news"),
            QStringLiteral("U03@X.ORG|news"), QStringLiteral("u05@x.org|news"),    QStringLiteral("s02@x.org|sports")};
    }

private Q_SLOTS:
    void initTestCase()
    {
        platform::Registry machine(platform::RootKey::LocalMachine);
        QVERIFY(machine.openKey(mapistandin::availabilityKey(), true));
        machine.writeString(mapistandin::availabilityValue(), QStringLiteral("1"));
        m_mapi = std::make_unique<SMapi>(QStringLiteral(FAKE_MAPI_DIR));
        QVERIFY(m_mapi->MapiAvailable());
        m_fake = reinterpret_cast<FakeMapiState *(*)()>(QLibrary(m_mapi->libraryPath()).resolve("FakeMapi_state"))();
        QVERIFY(m_fake);
        m_attachment = m_env.root() + QStringLiteral("/notes.txt");
        QFile f(m_attachment);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

    void init()
    {
        m_fake->reset();
        m_fake->resolve = [](const std::string &name, FLAGS) {
            if (name.find("bad") != std::string::npos)
                return FakeResolution{MAPI_E_UNKNOWN_RECIPIENT, {}, {}, {}};
            return FakeResolution{SUCCESS_SUCCESS, name + " (resolved)", "SMTP:" + name, {}};
        };
        QFile::remove(MailingJournal(m_env.programDir()).path());
    }

    // Each message is the draft with its share of the list; with one a
    // message each address is a To recipient beside the extra ones. The
    // draft's own blind copies go with the first message only.
    void messagesCarryTheDraft_data()
    {
        QTest::addColumn<int>("perMessage");
        QTest::addColumn<QString>("category");
        QTest::addColumn<QList<QStringList>>("batches");
        QTest::addColumn<int>("done");
        const auto l = [](const char *joined) {
            QList<QStringList> out;
            for (const QString &m : QString::fromLatin1(joined).split(QLatin1Char(' ')))
                out << m.split(QLatin1Char(','));
            return out;
        };
        QTest::newRow("one a message") << 1 << QString() << l("s01 s02 u01 u03 u04 u05") << 8;
        QTest::newRow("three a message, a blank and an unresolved among them")
            << 3 << QString() << l("s01,s02 u01,u03 u04,u05") << 8;
        QTest::newRow("a category in an exact multiple") << 3 << QStringLiteral("news") << l("u01 u03,u04,u05") << 6;
        QTest::newRow("more than the list") << 500 << QStringLiteral("sports") << l("s01,s02") << 2;
    }

    void messagesCarryTheDraft()
    {
        QFETCH(int, perMessage);
        QFETCH(QString, category);
        QFETCH(QList<QStringList>, batches);
        QFETCH(int, done);
        Run r(*this, perMessage);
        r.filter(category);
        QVERIFY(r.mailing.countRecipients());
        QCOMPARE(r.mailing.send(r.draft), Outcome::Finished);
        QCOMPARE(r.prompts.calls(), (QList<ScriptedPrompts::Call>{{Kind::Information, completion(done)}}));
        QVERIFY(!r.journal.exists());

        const QList<Sent> got = messages();
        QCOMPARE(got.size(), batches.size());
        for (qsizetype i = 0; i < got.size(); ++i) {
            QStringList batch;
            for (const QString &name : batches.at(i))
                batch << name + QStringLiteral("@x.org");
            QStringList to{Extra};
            QStringList bcc = i == 0 ? QStringList{Hidden} : QStringList{};
            if (perMessage <= 1)
                to.prepend(batch.first()); // sorted
            else
                bcc << batch;
            QCOMPARE(got.at(i).to, to);
            QCOMPARE(got.at(i).bcc, bcc);
            QCOMPARE(got.at(i).cc, QStringList{Copy});
            QCOMPARE(got.at(i).files, QStringList{m_attachment});
            QVERIFY(got.at(i).subject == r.draft.subject && got.at(i).text == r.draft.text && got.at(i).receipt);
        }
    }

    // Every address under the filter once, the first met kept, with the
    // count's progress; a list not counted or not countable sends nothing.
    void uniqueListCounted()
    {
        Run r(*this, 3);
        QStringList shown;
        Mailing::Callbacks callbacks;
        callbacks.progress = [&](bool show, int position, int total, const QString &message) {
            shown << QStringLiteral("%1 %2/%3 %4").arg(int(show)).arg(position).arg(total).arg(message);
        };
        r.mailing.setCallbacks(callbacks);
        r.filter(QStringLiteral("NEWS"));
        QVERIFY(r.mailing.countRecipients());
        QCOMPARE(r.mailing.recipients(),
                 (QStringList{QString(), QStringLiteral("u01@x.org"), QStringLiteral("u02bad@x.org"),
                              QStringLiteral("u03@x.org"), QStringLiteral("u04@x.org"), QStringLiteral("u05@x.org")}));
        QVERIFY(shown.size() >= 2);
        QCOMPARE(shown.first(), QStringLiteral("1 0/7 Processing address, u04@x.org"));
        QVERIFY(shown.last().startsWith(QStringLiteral("0 ")));
        QVERIFY(!r.table.controlsDisabled());

        r.mailing.forgetRecipients();
        QCOMPARE(r.mailing.send(r.draft), Outcome::NotStarted);
        QCOMPARE(r.prompts.warnings(),
                 QStringList{QStringLiteral("An error was encoutnered creating your recipient list!")});

        r.table.close();
        QVERIFY(!r.mailing.countRecipients());
        QCOMPARE(r.prompts.texts(Kind::Error),
                 QStringList{QStringLiteral("An error was encountered calculating your recipeints!")});
        QVERIFY(!r.table.controlsDisabled());
        QVERIFY(!r.mailing.counted());
        QVERIFY(messages().isEmpty());
        QVERIFY(!r.journal.exists());
    }

    // One message to the draft's own recipients, recorded nowhere; a message
    // refused leaves nothing of it for the next one.
    void testMessage()
    {
        Run r(*this, 3);
        MessageDraft refused = r.draft;
        refused.attachments << m_env.root() + QStringLiteral("/missing.txt");
        QVERIFY(!r.mailing.sendTest(refused));
        QCOMPARE(r.prompts.texts(Kind::Error), QStringList{QStringLiteral("MAPI Sendmail failed")});

        MessageDraft plain;
        plain.to = {QStringLiteral("tester@x.org")};
        plain.subject = QStringLiteral("Test");
        QVERIFY(r.mailing.sendTest(plain));
        QVERIFY(r.mailing.sendTest(r.draft));
        const QList<Sent> got = messages();
        QCOMPARE(got.size(), 2);
        QCOMPARE(got.at(0).to, QStringList{QStringLiteral("tester@x.org")});
        QVERIFY(got.at(0).cc.isEmpty() && got.at(0).bcc.isEmpty() && got.at(0).files.isEmpty());
        QVERIFY(!got.at(0).receipt);
        QCOMPARE(got.at(1).to, QStringList{Extra});
        QCOMPARE(got.at(1).cc, QStringList{Copy});
        QCOMPARE(got.at(1).bcc, QStringList{Hidden});
        QCOMPARE(got.at(1).files, QStringList{m_attachment});
        QVERIFY(got.at(1).receipt);
        QCOMPARE(r.prompts.calls().size(), 1);
        QVERIFY(!r.journal.exists());
    }

    // Nothing is sent or recorded until the session, the list and the
    // record are there; then the same mailing goes.
    void notStartedUntilReady_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("says");
        QTest::newRow("a session") << QStringLiteral("session") << Kind::Error << QStringLiteral("MAPI Logon failed");
        QTest::newRow("the count") << QStringLiteral("count") << Kind::Warning
                                   << QStringLiteral("An error was encoutnered creating your recipient list!");
        QTest::newRow("the record") << QStringLiteral("record") << Kind::Error
                                    << QStringLiteral("An error was encountered sending your e-mail!\n")
                                           + MailingJournal(m_env.programDir()).path()
                                           + QStringLiteral(" could not be written (");
    }

    void notStartedUntilReady()
    {
        QFETCH(QString, missing);
        QFETCH(Kind, kind);
        QFETCH(QString, says);
        Run r(*this, 3);
        if (missing != QLatin1String("count"))
            QVERIFY(r.mailing.countRecipients());
        if (missing == QLatin1String("session"))
            m_fake->logonResults = {MAPI_E_LOGON_FAILURE, MAPI_E_LOGON_FAILURE}; // the profile, then the user's pick
        {
            std::optional<FileSizeLimit> full;
            if (missing == QLatin1String("record"))
                full.emplace(64);
            QCOMPARE(r.mailing.send(r.draft), Outcome::NotStarted);
        }
        QCOMPARE(r.prompts.calls().size(), 1);
        QCOMPARE(r.prompts.calls().first().kind, kind);
        QVERIFY2(r.prompts.calls().first().text.startsWith(says), qPrintable(r.prompts.calls().first().text));
        QVERIFY(messages().isEmpty());
        QVERIFY(!r.journal.exists());

        r.prompts.clear();
        QVERIFY(r.mailing.countRecipients());
        QCOMPARE(r.mailing.send(r.draft), Outcome::Finished);
        QCOMPARE(r.prompts.texts(Kind::Information), QStringList{completion(8)});
        QCOMPARE(messages().size(), 3);
    }

    // A stop is asked for; Yes after some messages keeps the record for the
    // next start, Yes before any removes it, No goes on.
    void stopAsked_data()
    {
        QTest::addColumn<int>("stopAfter"); // messages placed first; -1: before the first address
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<int>("done");
        QTest::addColumn<QString>("lastPlaced"); // empty: no record kept
        QTest::newRow("before the first, Yes") << -1 << true << true << Outcome::Stopped << 0 << QString();
        QTest::newRow("after the first, Yes")
            << 1 << true << true << Outcome::Stopped << 3 << QStringLiteral("s02@x.org");
        QTest::newRow("after the first, No") << 1 << true << false << Outcome::Finished << 8 << QString();
        QTest::newRow("after the second, nobody to ask")
            << 2 << false << false << Outcome::Stopped << 6 << QStringLiteral("u03@x.org");
    }

    void stopAsked()
    {
        QFETCH(int, stopAfter);
        QFETCH(bool, asked);
        QFETCH(bool, yes);
        QFETCH(Outcome, outcome);
        QFETCH(int, done);
        QFETCH(QString, lastPlaced);
        Run r(*this, 3);
        QVERIFY(r.mailing.countRecipients());
        r.prompts.queueConfirm(yes ? Prompts::Answer::Yes : Prompts::Answer::No);
        Mailing::Callbacks callbacks;
        if (asked)
            callbacks.confirm = [&](const QString &q) { return r.prompts.confirm(q) == Prompts::Answer::Yes; };
        if (stopAfter < 0)
            callbacks.pumpEvents = [&] { r.mailing.requestStop(); };
        r.mailing.setCallbacks(callbacks);
        r.afterMessage([&](int placed) {
            QVERIFY(r.mailing.sending());
            if (placed == stopAfter)
                r.mailing.requestStop();
        });
        QCOMPARE(r.mailing.send(r.draft), outcome);
        QVERIFY(!r.mailing.sending());
        QCOMPARE(r.prompts.texts(Kind::Confirm),
                 asked ? QStringList{QStringLiteral("Really want to break?")} : QStringList{});
        QCOMPARE(r.prompts.texts(Kind::Information), QStringList{completion(done, !lastPlaced.isEmpty())});
        QCOMPARE(r.journal.exists(), !lastPlaced.isEmpty());
        QCOMPARE(r.mailing.resumeAfter(), lastPlaced);
        if (!lastPlaced.isEmpty()) {
            QCOMPARE(r.recorded().lastPlaced, lastPlaced);
            QCOMPARE(r.recorded().placed, qint64(done));
        }
    }

    // A message the mail system refuses ends the mailing where it stood; a
    // record that cannot be brought up to date goes, as resuming from it
    // would mail some twice. Sending again goes on after the last placed.
    void refusedMessageEndsTheMailing_data()
    {
        QTest::addColumn<bool>("diskFull");
        QTest::newRow("the mail system refuses the third") << false;
        QTest::newRow("and the record cannot be written") << true;
    }

    void refusedMessageEndsTheMailing()
    {
        QFETCH(bool, diskFull);
        Run r(*this, 2);
        QVERIFY(r.mailing.countRecipients());
        std::optional<FileSizeLimit> full;
        r.afterMessage([&](int placed) {
            if (placed != 2)
                return;
            m_fake->sendResult = MAPI_E_DISK_FULL;
            if (diskFull)
                full.emplace(64);
        });
        QCOMPARE(r.mailing.send(r.draft), Outcome::Failed);
        full.reset();
        // Says how many have it, so a second send is not taken for the first.
        QCOMPARE(r.prompts.texts(Kind::Error),
                 (QStringList{
                     QStringLiteral("MAPI Sendmail failed"),
                     QStringLiteral("An error was encountered sending your e-mail!\n4 recipients had already "
                                    "been placed in your Outlook Outbox. Sending again goes on after "
                                    "u01@x.org.")
                         + (diskFull ? QString()
                                     : QStringLiteral("\nThe next start offers to send the rest of the mailing."))}));
        QVERIFY(r.prompts.texts(Kind::Information).isEmpty());
        const QString warned = r.prompts.warnings().join(u'|');
        QVERIFY2(diskFull ? warned.startsWith(r.journal.path() + QStringLiteral(" could not be written ("))
                                && warned.endsWith(QStringLiteral("it stopped after u01@x.org."))
                          : warned.isEmpty(),
                 qPrintable(warned));
        QCOMPARE(r.journal.exists(), !diskFull);
        if (!diskFull)
            QCOMPARE(r.recorded().placed, qint64(4));
        QCOMPARE(r.mailing.resumeAfter(), QStringLiteral("u01@x.org"));
        QCOMPARE(r.mailing.placedBefore(), qint64(4));

        m_fake->sendResult = SUCCESS_SUCCESS;
        r.prompts.clear();
        QCOMPARE(r.mailing.send(r.draft), Outcome::Finished);
        QCOMPARE(r.prompts.calls(), (QList<ScriptedPrompts::Call>{{Kind::Information, completion(4)}}));
        QVERIFY(!r.journal.exists());
        QList<Sent> got = messages();
        QCOMPARE(got.size(), 5);
        got.removeAt(2); // the refused one
        QStringList everyone;
        for (const Sent &m : std::as_const(got))
            everyone << m.bcc;
        QCOMPARE(everyone, (QStringList{Hidden, QStringLiteral("s01@x.org"), QStringLiteral("s02@x.org"),
                                        QStringLiteral("u01@x.org"), Hidden, QStringLiteral("u03@x.org"),
                                        QStringLiteral("u04@x.org"), QStringLiteral("u05@x.org")}));
    }

    // A mailing recorded as broken off: its draft back, its category's
    // addresses after its last placed, and the count of those before added
    // to the record.
    void resumedAfterItsLastPlaced_data()
    {
        QTest::addColumn<QString>("lastPlaced");
        QTest::addColumn<int>("doneFirst"); // addresses behind the first message sent
        QTest::newRow("a listed address, an unresolved one next") << QStringLiteral("u01@x.org") << 2;
        QTest::newRow("one gone from the list") << QStringLiteral("u02zz@x.org") << 1;
    }

    void resumedAfterItsLastPlaced()
    {
        QFETCH(QString, lastPlaced);
        QFETCH(int, doneFirst);
        const QString firstSent = QStringLiteral("u03@x.org");
        Run r(*this, 1);
        const MailingRecord record{QStringLiteral("Spring"),
                                   QStringLiteral("The garden opens."),
                                   {m_attachment},
                                   {QStringLiteral("owner@x.org")},
                                   {Copy},
                                   true,
                                   QStringLiteral("news"),
                                   lastPlaced,
                                   40};
        const MessageDraft draft = r.mailing.resume(record);
        QVERIFY(draft
                == (MessageDraft{record.to, record.cc, {}, record.attachments, record.subject, record.text, true}));
        r.filter(record.category);
        QVERIFY(r.mailing.countRecipients());

        r.prompts.queueConfirm(Prompts::Answer::Yes);
        r.afterMessage([&](int) { r.mailing.requestStop(); });
        QCOMPARE(r.mailing.send(draft), Outcome::Stopped);
        QCOMPARE(messages().size(), 1);
        QCOMPARE(messages().first().to, (QStringList{QStringLiteral("owner@x.org"), firstSent}));
        MailingRecord expected = record;
        expected.lastPlaced = firstSent;
        expected.placed = record.placed + doneFirst;
        QCOMPARE(r.recorded(), expected);

        QCOMPARE(r.mailing.send(draft), Outcome::Finished);
        QCOMPARE(r.prompts.texts(Kind::Information), (QStringList{completion(doneFirst, true), completion(2)}));
        QCOMPARE(messages().size(), 3);
        QVERIFY(!r.journal.exists());
        QCOMPARE(r.mailing.resumeAfter(), QString());
    }
};

QTEST_GUILESS_MAIN(TestMailing)
#include "tst_mailing.moc"
