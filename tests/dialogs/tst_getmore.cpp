// The folder scan window from the main window's menu over a real Maildir++
// store with messages, a card among them, and a contacts folder of vCards.
#include "testlib/MaildirWriter.h"
#include "testlib/MainWindowFixture.h"
#include "testlib/ModalDriver.h"
#include "testlib/TestEnv.h"

#include "dialogs/getmore.h"
#include "intake/FolderScan.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

using Kind = ScriptedPrompts::Kind;
using Answer = Prompts::Answer;

class TestGetMore : public QObject
{
    Q_OBJECT

    static void fillStore(const testmail::Store &store)
    {
        store.create();
        store.addFolder(QStringLiteral("Archive"));
        store.addFolder(QStringLiteral("Address Book"));
        store.addFolder(QStringLiteral("Contacts"));
        store.addFolder(QStringLiteral("Gone"));
        // A delivery report whose text for people names nobody: the failed
        // address is in its status part.
        store.deliver(QStringLiteral("Archive"),
                      "From: Mail Delivery System <MAILER-DAEMON@mx.example.net>\r\n"
                      "To: lists@example.net\r\nSubject: Undelivered Mail\r\nMIME-Version: 1.0\r\n"
                      "Content-Type: multipart/report; report-type=delivery-status; boundary=\"b\"\r\n\r\n"
                      "--b\r\nContent-Type: text/plain\r\n\r\nYour message could not be delivered.\r\n"
                      "--b\r\nContent-Type: message/delivery-status\r\n\r\nReporting-MTA: dns; mx.example.net\r\n\r\n"
                      "Final-Recipient: rfc822; failed@example.org\r\nAction: failed\r\nStatus: 5.1.1\r\n"
                      "Diagnostic-Code: smtp; 550 <Failed@Example.org> unknown\r\n"
                      "--b\r\nContent-Type: text/rfc822-headers\r\n\r\nFrom: lists@example.net\r\n--b--\r\n",
                      1700000000);
        store.deliver(
            QStringLiteral("Archive"),
            testmail::message("Ann <ann@example.org>", "Hello",
                              "Write to <body1@example.org>, or body2@example.org.\r\n@x.org body3@example.org\r\n",
                              "Cc: Carl <carl@example.org>\r\n"),
            1700000001);
        store.deliver(QStringLiteral("Archive"),
                      "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Stray\r\nEMAIL:stray@example.org\r\nEND:VCARD\r\n", 1700000002);
        store.deliver(QStringLiteral("Archive"),
                      testmail::message("bob@example.org", "Later", "No addresses here.\r\n",
                                        "Reply-To: Bob Replies <reply@example.org>\r\n"),
                      1700000003);
        store.deliver(QStringLiteral("Contacts"),
                      "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Dora\r\nEMAIL:dora@example.org\r\nEMAIL:other@example."
                      "org\r\nEND:VCARD\r\n",
                      1700000004);
        store.deliver(QStringLiteral("Contacts"), "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Nobody\r\nEND:VCARD\r\n",
                      1700000005);
        store.deliver(QStringLiteral("Address Book"),
                      "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Eve\r\nEMAIL:eve@example.org\r\nEND:VCARD\r\n", 1700000008);
        // A link to a message elsewhere is no item of the folder.
        const QString outside
            = store.deliver(QString(), testmail::message("linked@example.org", "Linked", "x\r\n"), 1700000006);
        QFile::link(outside, store.folderDir(QStringLiteral("Archive")) + QStringLiteral("/new/1700000007.link.host"));
    }

    static void select(TdlgGetMore *d, const QString &name)
    {
        const auto found = d->lbxfolders->findItems(name, Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        d->lbxfolders->setCurrentItem(found.first());
    }

private Q_SLOTS:
    void scansAndProcesses()
    {
        MainWindowFixture f({QStringLiteral("ann@example.org|news|0|")});
        testmail::Store store(f.env.home() + QStringLiteral("/Maildir"));
        fillStore(store);
        f.show();
        f.context->settings.defaultcategory = QStringLiteral("General");
        // The list's own address, on every message's To line, is never listed.
        f.context->settings.DefaultToAddress = QStringLiteral("Lists@example.net");
        f.window->rdbfilter->click();
        QTest::keyClicks(f.window->edtfilter, QStringLiteral("news"));

        QString fromMessages;
        QString afterContacts;
        QStringList folders;
        bool emptied = false;
        ModalDriver driver;
        driver.expect<TdlgGetMore>([&](TdlgGetMore *d) {
            [&] {
                // The display is live while the window is open.
                QCOMPARE(f.window->lblcount->text(), QStringLiteral("1 Records"));
                QTRY_VERIFY(d->lbxfolders->count() > 0);
                for (int i = 0; i < d->lbxfolders->count(); ++i)
                    folders << d->lbxfolders->item(i)->text();
                QCOMPARE(d->edtcategory->text(), QStringLiteral("General"));
                select(d, QStringLiteral("Archive"));
                QVERIFY(d->rdbmessages->isChecked());
                QTest::mouseClick(d->chkfrom, Qt::LeftButton);
                QVERIFY(!d->BitBtn1->isEnabled());
                QTest::mouseClick(d->chkfrom, Qt::LeftButton);
                QTest::mouseClick(d->CHKRECIPIENTS, Qt::LeftButton);
                QTest::mouseClick(d->chkbody, Qt::LeftButton);
                QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
                fromMessages = d->memretr->toPlainText();

                // Scanning again lists nothing new.
                QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
                QCOMPARE(d->memretr->toPlainText(), fromMessages);

                // The first folder of the list holds cards: the kind follows what it holds.
                select(d, QStringLiteral("Address Book"));
                QVERIFY(d->rdbcontacts->isChecked());
                select(d, QStringLiteral("Contacts"));
                QVERIFY(d->rdbcontacts->isChecked());
                QCOMPARE(d->chkfrom->text(), QStringLiteral("Contact E-mail Address"));
                QVERIFY(d->chkfrom->isChecked() && d->CHKRECIPIENTS->isHidden() && d->chkbody->isHidden());
                QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
                afterContacts = d->memretr->toPlainText();

                // A folder that vanished since the listing.
                QVERIFY(QDir(store.folderDir(QStringLiteral("Gone"))).removeRecursively());
                select(d, QStringLiteral("Gone"));
                QTest::mouseClick(d->BitBtn1, Qt::LeftButton);

                QTest::mouseClick(d->btnProcessAll, Qt::LeftButton);
                emptied = d->memretr->toPlainText().isEmpty();
            }();
            QTest::mouseClick(d->btnClose, Qt::LeftButton);
        });
        f.window->ScanOutlookFoldersforemailaddresses1->trigger();
        QVERIFY(driver.done());
        QCOMPARE(folders, (QStringList{QStringLiteral("Address Book"), QStringLiteral("Archive"),
                                       QStringLiteral("Contacts"), QStringLiteral("Gone"), QStringLiteral("Inbox")}));
        // Last item first; sender, recipients last to first, then the body;
        // each address once, none of the owner's or the mail system's.
        const QStringList expected{QStringLiteral("reply@example.org"), QStringLiteral("ann@example.org"),
                                   QStringLiteral("carl@example.org"), QStringLiteral("body1@example.org"),
                                   QStringLiteral("failed@example.org")};
        QCOMPARE(fromMessages.split(QLatin1Char('\n')), expected);
        QVERIFY(!fromMessages.contains(QStringLiteral("body3")) && !fromMessages.contains(QStringLiteral("stray")));
        QVERIFY(!fromMessages.contains(QStringLiteral("linked")));
        QCOMPARE(afterContacts.split(QLatin1Char('\n')).mid(fromMessages.split(QLatin1Char('\n')).size()),
                 QStringList{QStringLiteral("dora@example.org")});
        QCOMPARE(f.prompts.warnings(), QStringList{QStringLiteral("The folder, Gone, could not be opened")});
        QVERIFY(emptied);
        QVERIFY(f.prompts.texts(Kind::Confirm).isEmpty());
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("1 Records"));
        f.window->rdball->click();
        QTRY_VERIFY(f.gridColumn(0).contains(QStringLiteral("dora@example.org")));
        QVERIFY(f.gridColumn(0).contains(QStringLiteral("carl@example.org")));
        QVERIFY(f.context->log.last().contains(QStringLiteral("Retrieval of e-mail addresses from folders at ")));
    }

    void aStoppedScanKeepsWhatItFound()
    {
        TestEnv env;
        testmail::Store store(env.home() + QStringLiteral("/Maildir"));
        fillStore(store);
        FolderScan scan([](const QString &a) { return a.contains(QLatin1Char('@')); });
        QStringList found;
        QList<int> seen;
        QVERIFY(scan.scan(QStringLiteral("Archive"), FolderScan::Kind::Messages, {}, found, [&](int done, int total) {
            seen << done << total;
            return done < 1;
        }));
        QCOMPARE(seen, (QList<int>{0, 4, 1, 4}));
        QCOMPARE(found, QStringList{QStringLiteral("reply@example.org")});
    }

    void unprocessedLinesAskBeforeClosing()
    {
        MainWindowFixture f;
        testmail::Store store(f.env.home() + QStringLiteral("/Maildir"));
        store.create();
        f.show();
        f.prompts.queueConfirm(Answer::Yes);
        ModalDriver driver;
        driver.expect<TdlgGetMore>([&](TdlgGetMore *d) {
            d->memretr->setPlainText(QStringLiteral("someone@example.org"));
            QTest::mouseClick(d->btnClose, Qt::LeftButton);
        });
        f.window->ScanOutlookFoldersforemailaddresses1->trigger();
        QVERIFY(driver.done());
        QCOMPARE(f.prompts.texts(Kind::Confirm),
                 QStringList{QStringLiteral(
                     "You still have entries that you have not processed.  Are you sure you want to close?")});
    }
};

QTEST_MAIN(TestGetMore)
#include "tst_getmore.moc"
