// A mailing killed part way: a child process of this program sends through
// the real mail library and is killed between two messages; the next start
// offers to resume, and resuming places exactly the addresses not yet
// placed. Also what the start does with a record answered No or damaged.
#include "testlib/MainWindowFixture.h"
#include "testlib/ModalDriver.h"

#include "core/SettingsStore.h"
#include "dialogs/sendmail.h"
#include "mail/Email.h"
#include "mail/MailingJournal.h"
#include "platform/mapi/MapiSetup.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>

#include <cstdio>
#include <cstdlib>

using Kind = ScriptedPrompts::Kind;

namespace {

const char *const ChildOption = "--mailing-child";
const int PerMessage = 4;
const int PlacedBeforeKill = 2;

QString subject()
{
    return QString::fromUtf8("Spring news – übersicht");
}

QString bodyText()
{
    return QStringLiteral("Dear reader,\nthe garden opens in May.\n");
}

QString journalPath(const QString &programDir)
{
    return programDir + QStringLiteral("mailing.journal");
}

// 23 unique addresses under "news", put in out of order, one twice in
// other letter case, and two under "sports".
QStringList entries()
{
    QStringList out;
    for (int i = 0; i < 23; ++i)
        out << QStringLiteral("m%1@example.org|news").arg(i * 7 % 23, 2, 10, QLatin1Char('0'));
    out << QStringLiteral("M05@EXAMPLE.ORG|news") << QStringLiteral("s1@example.org|sports")
        << QStringLiteral("s2@example.org|sports");
    return out;
}

void saveSettings(MainWindowFixture &f, bool receipt, const QString &defaultTo)
{
    ScriptedPrompts quiet;
    Settings s;
    s.SendCount = PerMessage;
    s.Acknowledge = receipt;
    s.DefaultToAddress = defaultTo;
    SettingsStore(f.context->programDir, quiet).SaveEntries(s, f.context->lists);
}

QStringList outbox(const QString &store)
{
    QDir dir(store + QStringLiteral("/.Outbox/new"));
    QStringList out;
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
        out << dir.filePath(name);
    return out;
}

QJsonObject readMessage(const QString &file)
{
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral(READ_MESSAGE_PY), file});
    if (!python.waitForFinished(120000) || python.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

QStringList addresses(const QJsonObject &message, const char *field)
{
    QStringList out;
    for (const QJsonValue &v : message.value(QLatin1String(field)).toArray())
        out << v.toArray().at(1).toString();
    return out;
}

// The child: starts the mailing to "news" and freezes before the message
// after PlacedBeforeKill, where the parent kills it.
int mailingChild(const QString &programDir)
{
    ScriptedPrompts prompts;
    AppContext context(prompts);
    Tfrmmain window(context);
    window.FormCreate(programDir + QStringLiteral("quillmar"));
    if (!context.dmML.DataModuleCreate(context.programDir))
        return 2;
    context.mapi = std::make_unique<SMapi>(QStringLiteral(MAPI_LIBRARY_DIR));
    window.show();
    int messages = 0;
    ModalDriver driver;
    driver.expect<TdlgSendMail>([&](TdlgSendMail *d) {
        d->rdbfilter->click();
        QTest::keyClicks(d->edtfilter, QStringLiteral("news"));
        d->edtMessageSubject->setText(subject());
        d->edtMessageText->setPlainText(bodyText());
        QObject::connect(d->Email1.get(), &TEmail::OnBeforeSendMail, d, [&] {
            if (messages++ < PlacedBeforeKill)
                return;
            std::fputs("frozen\n", stdout);
            std::fflush(stdout);
            QThread::sleep(120);
            std::_Exit(3);
        });
        QTest::mouseClick(d->btnsendbulk, Qt::LeftButton);
    });
    window.btnsend->click();
    return 4;
}

} // namespace

class TestMailingResume : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedMailingResumesWithTheRest()
    {
        MainWindowFixture f(entries());
        const QString store = QDir(f.env.home()).filePath(QStringLiteral("Maildir"));
        QVERIFY(QDir().mkpath(store));
        QString error;
        QVERIFY2(registerMapiStandIn(store, QStringLiteral("sender@example.org"), &error), qPrintable(error));
        f.context->mapi = std::make_unique<SMapi>(QStringLiteral(MAPI_LIBRARY_DIR));
        saveSettings(f, true, QStringLiteral("owner@example.org"));

        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(ChildOption), f.env.programDir()});
        QVERIFY(child.waitForStarted());
        QElapsedTimer waited;
        waited.start();
        while (!child.canReadLine() && child.state() == QProcess::Running && waited.elapsed() < 60000)
            child.waitForReadyRead(1000);
        const QByteArray said = child.readLine().trimmed();
        child.kill();
        child.waitForFinished();
        QCOMPARE(said, QByteArray("frozen"));
        QCOMPARE(outbox(store).size(), PlacedBeforeKill);
        QVERIFY(QFile::exists(journalPath(f.env.programDir())));

        // The options changed since; the resumed mailing keeps its own.
        saveSettings(f, false, QStringLiteral("other@example.org"));
        f.prompts.queueConfirm(Prompts::Answer::Yes);
        bool filled = false;
        ModalDriver driver;
        driver.expect<TdlgSendMail>([&](TdlgSendMail *d) {
            [&] {
                QCOMPARE(d->edtMessageSubject->text(), subject());
                QCOMPARE(d->edtMessageText->toPlainText(), bodyText());
                QVERIFY(d->rdbfilter->isChecked());
                QCOMPARE(d->edtfilter->text(), QStringLiteral("news"));
                const auto *resumePoint = d->findChild<QLabel *>(QStringLiteral("lblresume"));
                QVERIFY(resumePoint && resumePoint->isVisible());
                QVERIFY2(resumePoint->text().contains(QStringLiteral("m07@example.org")),
                         qPrintable(resumePoint->text()));
                filled = true;
            }();
            QTest::mouseClick(d->btnsendbulk, Qt::LeftButton);
        });
        f.show();
        QTRY_VERIFY_WITH_TIMEOUT(driver.done(), 30000);
        QVERIFY(filled);
        QCOMPARE(f.prompts.texts(Kind::Confirm),
                 QStringList{QStringLiteral("A mailing did not end: \"") + subject()
                             + QStringLiteral("\" to the category \"news\". 8 addresses had it, the last "
                                              "m07@example.org.\nDo you want to resume it from the first address "
                                              "not yet placed? No forgets it.")});
        QCOMPARE(f.prompts.texts(Kind::Information),
                 QStringList{QStringLiteral("Your e-mails to 15 recipients have been sent to your Outlook Outbox.")});
        QVERIFY(f.prompts.texts(Kind::Error).isEmpty());
        QVERIFY(!QFile::exists(journalPath(f.env.programDir())));

        // Every "news" address once, in six messages of the old mailing's kind.
        const QStringList files = outbox(store);
        QCOMPARE(files.size(), 6);
        QStringList everyone;
        for (const QString &file : files) {
            const QJsonObject m = readMessage(file);
            QCOMPARE(m.value(QStringLiteral("subject")).toString(), subject());
            QCOMPARE(addresses(m, "to"), QStringList{QStringLiteral("owner@example.org")});
            QVERIFY(!m.value(QStringLiteral("notify")).isNull());
            everyone << addresses(m, "bcc");
        }
        everyone.sort(Qt::CaseInsensitive);
        QStringList expected;
        for (int i = 0; i < 23; ++i)
            expected << QStringLiteral("m%1@example.org").arg(i, 2, 10, QLatin1Char('0'));
        QCOMPARE(everyone, expected);
    }

    // No forgets the mailing; a record that cannot be read is named and
    // left alone, and nothing is asked.
    void startOfferedNoOrDamaged_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<bool>("kept");
        QTest::newRow("No forgets it") << false << false;
        QTest::newRow("damaged") << true << true;
    }

    void startOfferedNoOrDamaged()
    {
        QFETCH(bool, damaged);
        QFETCH(bool, kept);
        MainWindowFixture f;
        const QString path = journalPath(f.env.programDir());
        {
            MailingJournal journal(f.env.programDir());
            MailingRecord m;
            m.subject = subject();
            QString why;
            QVERIFY(journal.begin(m, &why));
        }
        if (damaged)
            QVERIFY(QFile::resize(path, 10));
        f.prompts.queueConfirm(Prompts::Answer::No);
        f.show();
        QTRY_VERIFY(!f.prompts.calls().isEmpty());
        QTest::qWait(50);
        QCOMPARE(f.prompts.texts(Kind::Confirm),
                 damaged ? QStringList{}
                         : QStringList{QStringLiteral("A mailing did not end: \"") + subject()
                                       + QStringLiteral("\" to all mailing list entries. No message of it was "
                                                        "placed yet.\nDo you want to resume it from the first "
                                                        "address not yet placed? No forgets it.")});
        QCOMPARE(f.prompts.warnings(),
                 damaged ? QStringList{QStringLiteral("A mailing that did not end cannot be resumed.\n") + path
                                       + QStringLiteral(" is damaged: it is corrupt or cut short.")}
                         : QStringList{});
        QCOMPARE(QFile::exists(path), kept);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc > 2 && qstrcmp(argv[1], ChildOption) == 0)
        return mailingChild(QString::fromLocal8Bit(argv[2]));
    TestMailingResume test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mailingresume.moc"
