// The send and add-recipients dialogs opened from the main window, driven
// through their widgets, sending through the real mail library into a real
// store whose messages are read back by an independent parser. What the
// mailing does below its window is tested in tst_mailing.
#include "testlib/MainWindowFixture.h"
#include "testlib/ModalDriver.h"

#include "dialogs/addrecip.h"
#include "dialogs/progress.h"
#include "dialogs/sendmail.h"
#include "mail/Email.h"
#include "mail/MailingJournal.h"
#include "platform/mapi/MapiSetup.h"

#include <QAction>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

using Kind = ScriptedPrompts::Kind;

namespace {

struct SendFixture : MainWindowFixture
{
    SendFixture()
    {
        store = QDir(env.home()).filePath(QStringLiteral("Maildir"));
        QDir().mkpath(store);
        QString error;
        if (!registerMapiStandIn(store, QStringLiteral("sender@example.org"), &error))
            qFatal("%s", qPrintable(error));
        context->mapi = std::make_unique<SMapi>(QStringLiteral(MAPI_LIBRARY_DIR));
    }
    void add(const QStringList &items, const QString &category = QStringLiteral("news"))
    {
        MLTable::Transaction t(context->table());
        for (const QString &item : items)
            context->table().append(item, category, 0, QString());
        t.commit();
    }
    // Shows the window, then sets what the options would hold.
    void start(int maximum, const QString &defaultTo = QString())
    {
        show();
        context->settings.SendCount = maximum;
        context->settings.Acknowledge = true;
        context->settings.DefaultToAddress = defaultTo;
    }
    QStringList outbox() const
    {
        QDir dir(store + QStringLiteral("/.Outbox/new"));
        QStringList out;
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
            out << dir.filePath(name);
        return out;
    }
    static QJsonObject read(const QString &file)
    {
        QProcess python;
        python.start(QStringLiteral("python3"), {QStringLiteral(READ_MESSAGE_PY), file});
        if (!python.waitForFinished(120000) || python.exitCode() != 0)
            return {};
        return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    }
    static QStringList addresses(const QJsonObject &message, const char *field)
    {
        QStringList out;
        for (const QJsonValue &v : message.value(QLatin1String(field)).toArray())
            out << v.toArray().at(1).toString();
        return out;
    }
    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = env.root() + QLatin1Char('/') + name;
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }

    QString store;
};

// Makes the Outbox fail from the next message on, until it is undone: its
// tmp/ becomes a file.
class OutboxFault
{
public:
    explicit OutboxFault(const QString &outbox)
        : m_tmp(outbox + QStringLiteral("/tmp"))
    {
    }
    ~OutboxFault() { undo(); }

    void apply()
    {
        QDir().rename(m_tmp, m_tmp + QStringLiteral(".moved"));
        QFile(m_tmp).open(QIODevice::WriteOnly);
        m_applied = true;
    }

    void undo()
    {
        if (!m_applied)
            return;
        m_applied = false;
        QFile::remove(m_tmp);
        QDir().rename(m_tmp + QStringLiteral(".moved"), m_tmp);
    }

private:
    QString m_tmp;
    bool m_applied = false;
};

QString completion(int count)
{
    return QStringLiteral("Your e-mails to ") + QString::number(count)
           + QStringLiteral(" recipients have been sent to your Outlook Outbox.");
}

} // namespace

class TestSendMail : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The window's filter and count, its attachment field and the draft in
    // every message, with the progress shown meanwhile.
    void draftSentToTheFilteredList()
    {
        SendFixture f;
        QStringList items;
        for (int i = 0; i < 11; ++i)
            items << QStringLiteral("user%1@example.org").arg(i, 2, 10, QLatin1Char('0'));
        // Duplicates by letter case and blanks count once.
        items << QStringLiteral("USER01@example.org") << QStringLiteral("  user02@example.org\t");
        f.add(items);
        f.add({QStringLiteral("other@example.org")}, QStringLiteral("sports"));
        f.start(5, QStringLiteral("owner@example.org"));
        const QString notes = f.writeFile(QStringLiteral("notes.txt"), "first\nsecond\n");
        const QString data = f.writeFile(QStringLiteral("data.bin"), QByteArray(5000, '\x07'));
        f.window->rdbfilter->click();
        QTest::keyClicks(f.window->edtfilter, QStringLiteral("NEWS"));

        QString progressShown;
        ModalDriver driver;
        driver.expect<TdlgSendMail>([&](TdlgSendMail *d) {
            [&] {
                QVERIFY(d->rdbfilter->isChecked());
                QCOMPARE(d->lblcount->text(), QStringLiteral("13 Records"));
                QVERIFY(d->btnrecalc->isEnabled());
                // Leaving the edit takes the typed path.
                for (const QString &path : {notes, data}) {
                    d->Attach->setText(path);
                    Q_EMIT d->Attach->editingFinished();
                }
                QCOMPARE(listItems(d->lbAttach), (QStringList{notes, data}));
                d->edtMessageSubject->setText(QStringLiteral("Line one\r\nBcc: injected@evil.example"));
                d->edtMessageText->setPlainText(QStringLiteral("Hello\rlist\n") + QString(300, QLatin1Char('x')));
                QTest::mouseClick(d->btnrecalc, Qt::LeftButton);
                QCOMPARE(d->lblcount->text(), QStringLiteral("11 Unique Recipients"));
                QVERIFY(!d->btnrecalc->isEnabled());
                // A changed category makes the list stale; the send counts it again.
                QTest::keyClick(d->edtfilter, Qt::Key_Backspace);
                QVERIFY(d->btnrecalc->isEnabled());
                connect(
                    d->Email1.get(), &TEmail::OnAfterSendMail, d,
                    [&] {
                        if (auto *p = f.window->findChild<TdlgProgress *>(); p && p->isVisible())
                            progressShown = p->lblmessage->text();
                    },
                    Qt::SingleShotConnection);
            }();
            QTest::mouseClick(d->btnsendbulk, Qt::LeftButton);
        });
        f.window->btnsend->click();
        QVERIFY(driver.done());
        QCOMPARE(f.prompts.texts(Kind::Information), QStringList{completion(11)});
        QVERIFY(f.prompts.texts(Kind::Error).isEmpty());
        QVERIFY2(progressShown.startsWith(QStringLiteral("Sending e-mail to user0")), qPrintable(progressShown));
        QVERIFY(!f.window->findChild<TdlgProgress *>());
        // The main window's filter holds again.
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("13 Records"));

        const QStringList files = f.outbox();
        QCOMPARE(files.size(), 3);
        QStringList everyone;
        for (const QString &file : files) {
            const QJsonObject m = SendFixture::read(file);
            QCOMPARE(m.value(QStringLiteral("defects")).toArray(), QJsonArray());
            QCOMPARE(SendFixture::addresses(m, "to"), QStringList{QStringLiteral("owner@example.org")});
            QVERIFY(!m.value(QStringLiteral("notify")).isNull());
            QVERIFY(!SendFixture::addresses(m, "bcc").contains(QStringLiteral("injected@evil.example")));
            QVERIFY(m.value(QStringLiteral("body"))
                        .toString()
                        .startsWith(QStringLiteral("Hello\nlist\n") + QString(300, QLatin1Char('x'))));
            const QJsonArray attachments = m.value(QStringLiteral("attachments")).toArray();
            QCOMPARE(attachments.size(), 2);
            QCOMPARE(attachments.at(0).toObject().value(QStringLiteral("filename")).toString(),
                     QStringLiteral("notes.txt"));
            QCOMPARE(attachments.at(1).toObject().value(QStringLiteral("size")).toInt(), 5000);
            everyone << SendFixture::addresses(m, "bcc");
        }
        everyone.sort();
        QCOMPARE(everyone.size(), 11);
        QCOMPARE(everyone.removeDuplicates(), 0);
    }

    void oneMessagePerAddress()
    {
        SendFixture f;
        f.add({QStringLiteral("b@example.org"), QStringLiteral("a@example.org"), QStringLiteral("B@EXAMPLE.ORG"),
               QStringLiteral("c@example.org")});
        f.start(1, QStringLiteral("owner@example.org"));
        ModalDriver driver;
        driver.expect<TdlgSendMail>([&](TdlgSendMail *d) {
            driver.expect<TdlgAddRecip>([&](TdlgAddRecip *a) {
                QTest::keyClicks(a->CC, QStringLiteral("copy@example.org"));
                QTest::mouseClick(a->btnCCAdd, Qt::LeftButton);
                QTest::keyClicks(a->Recipient, QStringLiteral("gone@example.org"));
                QTest::mouseClick(a->btnToAdd, Qt::LeftButton);
                // The address book answers as a cancelling user: the lists stay.
                QTest::mouseClick(a->ToButton, Qt::LeftButton);
                QCOMPARE(a->lbTo->count(), 2);
                a->lbTo->setCurrentItem(a->lbTo->findItems(QStringLiteral("gone"), Qt::MatchContains).value(0));
                QTest::keyClick(a->lbTo, Qt::Key_Delete);
                QCOMPARE(a->lbTo->count(), 1);
                QTest::mouseClick(a->BitBtn1, Qt::LeftButton);
            });
            QTest::mouseClick(d->BitBtn2, Qt::LeftButton);
            QTest::mouseClick(d->btnsendbulk, Qt::LeftButton);
        });
        f.window->mnuSend->trigger();
        QVERIFY(driver.done());
        QCOMPARE(f.prompts.texts(Kind::Information), QStringList{completion(3)});
        const QStringList files = f.outbox();
        QCOMPARE(files.size(), 3);
        QStringList to;
        for (const QString &file : files) {
            const QJsonObject m = SendFixture::read(file);
            QStringList addresses = SendFixture::addresses(m, "to");
            QCOMPARE(addresses.size(), 2);
            QVERIFY(addresses.removeAll(QStringLiteral("owner@example.org")) == 1);
            to << addresses;
            QCOMPARE(SendFixture::addresses(m, "cc"), QStringList{QStringLiteral("copy@example.org")});
            QVERIFY(!m.value(QStringLiteral("notify")).isNull());
        }
        to.sort();
        QCOMPARE(to, (QStringList{QStringLiteral("a@example.org"), QStringLiteral("b@example.org"),
                                  QStringLiteral("c@example.org")}));
    }

    // The progress window's Cancel and Esc reach the loop while it sends; the
    // window stays until the question is answered.
    void cancelAndEscReachTheLoop_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Cancel") << false;
        QTest::newRow("Esc") << true;
    }

    void cancelAndEscReachTheLoop()
    {
        QFETCH(bool, escape);
        SendFixture f;
        QStringList items;
        for (int i = 0; i < 600; ++i)
            items << QStringLiteral("u%1@example.org").arg(i, 3, 10, QLatin1Char('0'));
        f.add(items);
        f.start(500);
        f.prompts.queueConfirm(Prompts::Answer::Yes);
        ModalDriver driver;
        driver.expect<TdlgSendMail>([&](TdlgSendMail *d) {
            // Arrives only while the loop lets events through; the progress
            // window is the one that takes input then.
            auto *poll = new QTimer(d);
            poll->setInterval(0);
            connect(poll, &QTimer::timeout, d, [d, escape, poll, &f] {
                auto *p = f.window->findChild<TdlgProgress *>();
                if (!d->sending() || !p || !p->isVisible())
                    return;
                poll->stop();
                if (escape)
                    QTest::keyClick(p, Qt::Key_Escape);
                else
                    QTest::mouseClick(p->btnCancel, Qt::LeftButton);
                QVERIFY(d->isVisible());
            });
            poll->start();
            QTest::mouseClick(d->btnsendbulk, Qt::LeftButton);
        });
        f.window->btnsend->click();
        QVERIFY(driver.done());
        QCOMPARE(f.prompts.texts(Kind::Confirm), QStringList{QStringLiteral("Really want to break?")});
        QCOMPARE(f.prompts.texts(Kind::Information), QStringList{completion(0)});
        QCOMPARE(f.outbox().size(), 0);
    }

    void testMessageAttachmentsAndFailures()
    {
        SendFixture f;
        f.add({QStringLiteral("a@example.org")});
        f.start(500);
        const QString notes = f.writeFile(QStringLiteral("notes.txt"), "hello\n");
        const QString missing = f.env.root() + QStringLiteral("/missing.txt");
        ModalDriver driver;
        driver.expect<TdlgSendMail>([&](TdlgSendMail *d) {
            [&] {
                // Nothing selected: a beep and the first item pointed at.
                f.prompts.queueFileName(notes);
                QTest::mouseClick(d->AttachButton, Qt::LeftButton);
                d->Attach->setText(missing);
                Q_EMIT d->Attach->editingFinished();
                QCOMPARE(f.prompts.texts(Kind::OpenFile),
                         (QStringList{QStringLiteral("Attach File"), QStringLiteral("Attach File")}));
                QCOMPARE(f.prompts.calls().last().dir, missing);
                QCOMPARE(listItems(d->lbAttach), QStringList{notes});
                d->lbAttach->clearSelection();
                d->lbAttach->setCurrentRow(-1);
                QTest::mouseClick(d->btnAttachRemove, Qt::LeftButton);
                QCOMPARE(d->lbAttach->count(), 1);
                QCOMPARE(d->lbAttach->currentRow(), 0);
                // Without a recipient nothing is sent, and the user is told so.
                QTest::mouseClick(d->btnsendtest, Qt::LeftButton);
                QCOMPARE(
                    f.prompts.texts(Kind::Information),
                    QStringList{QStringLiteral("The test message was not sent: it has no recipient. Add one with "
                                               "\"Add Recipients to all Sent Messages..\" or as a blind copy first.")});
                QCOMPARE(f.outbox().size(), 0);
                f.prompts.clear();
                // A missing file refuses the message and keeps the lists.
                d->lbAttach->addItem(missing);
                d->edtMessageSubject->setText(QString(300, QLatin1Char('s')));
                d->BCC->setText(QStringLiteral("hidden@example.org"));
                d->btnBCCAdd->click(); // hidden, as the loop uses it
                QTest::mouseClick(d->btnsendtest, Qt::LeftButton);
                QCOMPARE(f.prompts.texts(Kind::Error), QStringList{QStringLiteral("MAPI Sendmail failed")});
                QCOMPARE(d->lbAttach->count(), 2);
                QCOMPARE(d->lbBCC->count(), 1);
                d->lbAttach->setCurrentRow(1);
                QTest::mouseClick(d->btnAttachRemove, Qt::LeftButton);
                QTest::mouseClick(d->btnsendtest, Qt::LeftButton);
                QCOMPARE(d->lbAttach->count(), 0);
                QCOMPARE(d->lbBCC->count(), 0);
                QCOMPARE(f.prompts.texts(Kind::Information),
                         QStringList{QStringLiteral("Your test message to hidden@example.org has been sent to your "
                                                    "Outlook Outbox.")});
            }();
            f.prompts.queueConfirm(Prompts::Answer::Yes);
            QTest::keyClick(d, Qt::Key_Escape);
        });
        f.window->btnsend->click();
        QVERIFY(driver.done());
        QCOMPARE(f.prompts.texts(Kind::Confirm),
                 QStringList{QStringLiteral("Are you sure that you want to close and leave this form?")});
        QCOMPARE(f.outbox().size(), 1);
        const QJsonObject m = SendFixture::read(f.outbox().first());
        QCOMPARE(SendFixture::addresses(m, "bcc"), QStringList{QStringLiteral("hidden@example.org")});
        QCOMPARE(m.value(QStringLiteral("subject")).toString().size(), 255);
        QCOMPARE(m.value(QStringLiteral("attachments")).toArray().size(), 1);
    }

    // The failure is shown before the window, which opens all the same and
    // stays after a send that cannot log on either.
    void logonFailsWhenTheDialogOpens_data()
    {
        QTest::addColumn<bool>("send");
        QTest::newRow("Cancel closes it") << false;
        QTest::newRow("a send logs on again and stops") << true;
    }

    void logonFailsWhenTheDialogOpens()
    {
        QFETCH(bool, send);
        SendFixture f;
        f.add({QStringLiteral("a@example.org"), QStringLiteral("b@example.org")});
        f.start(500);
        QVERIFY(QDir(f.store).removeRecursively());
        bool openAfterSend = false;
        ModalDriver driver;
        driver.expect<TdlgSendMail>([&](TdlgSendMail *d) {
            [&] { QCOMPARE(f.prompts.texts(Kind::Error), QStringList{QStringLiteral("MAPI Logon failed")}); }();
            if (send) {
                QTest::mouseClick(d->btnsendbulk, Qt::LeftButton);
                openAfterSend = d->isVisible();
            }
            QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
        });
        f.window->btnsend->click();
        QVERIFY(driver.done());
        QCOMPARE(f.prompts.texts(Kind::Error), QStringList(send ? 2 : 1, QStringLiteral("MAPI Logon failed")));
        QCOMPARE(openAfterSend, send);
        QVERIFY(f.prompts.texts(Kind::Information).isEmpty());
        QVERIFY(f.outbox().isEmpty());
    }

    // The window stays after a failed message, says where sending goes on,
    // sends a test message without the failed one's copies and, sent again,
    // goes on after the last address placed.
    void outboxFailingHalfwayStopsTheSend()
    {
        SendFixture f;
        QStringList items;
        for (int i = 0; i < 7; ++i)
            items << QStringLiteral("u%1@example.org").arg(i);
        f.add(items);
        f.start(2, QStringLiteral("owner@example.org"));
        const QString outbox = f.store + QStringLiteral("/.Outbox");
        OutboxFault outboxFault(outbox);
        int sent = 0;
        ModalDriver driver;
        driver.expect<TdlgSendMail>([&](TdlgSendMail *d) {
            [&] {
                d->edtMessageSubject->setText(QStringLiteral("News"));
                d->edtMessageText->setPlainText(QString(300, QLatin1Char('x')));
                connect(d->Email1.get(), &TEmail::OnAfterSendMail, d, [&] {
                    if (++sent == 2)
                        outboxFault.apply();
                });
                QTest::mouseClick(d->btnsendbulk, Qt::LeftButton);
                outboxFault.undo();
                QCOMPARE(f.prompts.texts(Kind::Error),
                         (QStringList{QStringLiteral("MAPI Sendmail failed"),
                                      QStringLiteral("An error was encountered sending your e-mail!\n4 recipients had "
                                                     "already been placed in your Outlook Outbox. Sending again goes "
                                                     "on after u3@example.org.\nThe next start offers to send the rest "
                                                     "of the mailing.")}));
                QVERIFY(f.prompts.texts(Kind::Information).isEmpty());
                QVERIFY(d->isVisible());
                QCOMPARE(f.outbox().size(), 2);
                // The record of how far it got stays for the next start.
                const QString journal = f.env.programDir() + QStringLiteral("mailing.journal");
                QVERIFY(QFile::exists(journal));
                QVERIFY(d->lblresume->isVisible() && d->lblresume->text().contains(QStringLiteral("u3@example.org")));
                // Still usable: the test message carries none of the failed message's copies.
                QTest::mouseClick(d->btnsendtest, Qt::LeftButton);
                QCOMPARE(f.outbox().size(), 3);
                // Sending again goes on after the last address placed.
                QTest::mouseClick(d->btnsendbulk, Qt::LeftButton);
                QCOMPARE(f.prompts.texts(Kind::Information),
                         (QStringList{QStringLiteral("Your test message to owner@example.org has been sent to your "
                                                     "Outlook Outbox."),
                                      completion(3)}));
                QVERIFY(!QFile::exists(journal));
            }();
            if (d->isVisible())
                QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
        });
        f.window->btnsend->click();
        QVERIFY(driver.done());
        QCOMPARE(QDir(outbox + QStringLiteral("/tmp")).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList());
        QStringList bcc;
        int withoutBcc = 0;
        for (const QString &file : f.outbox()) {
            const QJsonObject m = SendFixture::read(file);
            QCOMPARE(m.value(QStringLiteral("defects")).toArray(), QJsonArray());
            QCOMPARE(SendFixture::addresses(m, "to"), QStringList{QStringLiteral("owner@example.org")});
            QCOMPARE(m.value(QStringLiteral("body")).toString().left(300), QString(300, QLatin1Char('x')));
            const QStringList copies = SendFixture::addresses(m, "bcc");
            withoutBcc += copies.isEmpty();
            bcc << copies;
        }
        QCOMPARE(withoutBcc, 1);
        bcc.sort();
        QCOMPARE(bcc, items);
    }

    void withoutTheMailLibraryNothingOpens()
    {
        MainWindowFixture f;
        f.show();
        f.window->btnsend->click();
        QCOMPARE(f.prompts.texts(Kind::Error),
                 QStringList{QStringLiteral("MAPI services are not available on this system")});
    }
};

QTEST_MAIN(TestSendMail)
#include "tst_sendmail.moc"
