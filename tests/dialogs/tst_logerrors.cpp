// The log and error windows over the live log and error list, and
// reprocessing a rejected entry through the entry operation.
#include "testlib/MainWindowFixture.h"
#include "testlib/ModalDriver.h"

#include "core/LineList.h"
#include "core/TextFile.h"
#include "dialogs/errors.h"
#include "dialogs/logunit.h"
#include "dialogs/reproc.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>

using Kind = ScriptedPrompts::Kind;

class TestLogErrors : public QObject
{
    Q_OBJECT

    static QStringList shown(QListView *view)
    {
        QStringList out;
        for (int r = 0; r < view->model()->rowCount(); ++r)
            out << view->model()->index(r, 0).data().toString();
        return out;
    }

    static void openLog(MainWindowFixture &f, const std::function<void(Tdlglog *)> &act)
    {
        ModalDriver driver;
        driver.expect<Tdlglog>([&](Tdlglog *d) {
            // The log shows without holding the list display.
            QVERIFY(!f.context->dmML.tblML.controlsDisabled());
            act(d);
            d->btnClose->click();
        });
        f.window->DisplayLog1->trigger();
        QVERIFY(driver.done());
    }

    static void openErrors(MainWindowFixture &f, const std::function<void(Tdlgerrors *)> &act)
    {
        ModalDriver driver;
        driver.expect<Tdlgerrors>([&](Tdlgerrors *d) {
            QVERIFY(f.context->dmML.tblML.controlsDisabled());
            act(d);
            d->btnClose->click();
        });
        f.window->DisplayErrors1->trigger();
        QVERIFY(driver.done());
        QVERIFY(!f.context->dmML.tblML.controlsDisabled());
    }

private Q_SLOTS:
    void logShowsEditsSavesAndClears()
    {
        MainWindowFixture f;
        f.show();
        f.context->log.append(QStringLiteral("ADD a@example.org news [x] -> Entered Successfully"));
        const QString target = f.env.root() + QStringLiteral("/saved-log.txt");
        f.prompts.queueFileName(target);
        f.prompts.queueFileName(f.env.root() + QStringLiteral("/no-such-folder/log.txt"));
        f.prompts.queueConfirm(Prompts::Answer::No);
        openLog(f, [&](Tdlglog *d) {
            QCOMPARE(shown(d->Memo1), f.context->log.lines());
            QCOMPARE(f.context->log.lines().mid(0, 3), LineList::logHeader());
            // Appended while shown, and typed over in place.
            f.context->log.append(QStringLiteral("REMOVE b@example.org  [] -> Removed"));
            QCOMPARE(shown(d->Memo1).size(), 5);
            QVERIFY(d->Memo1->model()->setData(d->Memo1->model()->index(4, 0), QStringLiteral("typed by the user")));
            QCOMPARE(f.context->log.last(), QStringLiteral("typed by the user"));
            QTest::mouseClick(d->BitBtn2, Qt::LeftButton);
            QTest::mouseClick(d->BitBtn2, Qt::LeftButton);
            QTest::mouseClick(d->btnclearlog, Qt::LeftButton);
            QCOMPARE(f.context->log.size(), 5);
        });
        QStringList saved;
        QVERIFY(textfile::readLines(target, &saved));
        QCOMPARE(saved, f.context->log.lines());
        QCOMPARE(f.prompts.texts(Kind::Error), QStringList{QStringLiteral("Save Error!")});
        QCOMPARE(f.prompts.texts(Kind::Confirm),
                 QStringList{QStringLiteral("Are you sure you want to clear your log file?")});

        f.prompts.queueConfirm(Prompts::Answer::Yes);
        openLog(f, [&](Tdlglog *d) {
            QTest::mouseClick(d->btnclearlog, Qt::LeftButton);
            QCOMPARE(d->Memo1->model()->rowCount(), 0);
        });
        QVERIFY(f.context->log.lines().isEmpty());
    }

    void deleteRemovesExactlyTheSelectedLines()
    {
        MainWindowFixture f;
        f.show();
        for (int i = 0; i < 7; ++i)
            f.context->errors.append(QStringLiteral("ADD e%1@example.org Default").arg(i));
        openErrors(f, [&](Tdlgerrors *d) {
            QTest::mouseClick(d->btndeleteentry, Qt::LeftButton); // nothing selected
            QCOMPARE(f.context->errors.size(), 7);
            QItemSelectionModel *sel = d->lbxerrors->selectionModel();
            for (int r : {1, 3, 6})
                sel->select(d->lbxerrors->model()->index(r, 0), QItemSelectionModel::Select);
            QTest::mouseClick(d->btndeleteentry, Qt::LeftButton);
        });
        QCOMPARE(
            f.context->errors.lines(),
            (QStringList{QStringLiteral("ADD e0@example.org Default"), QStringLiteral("ADD e2@example.org Default"),
                         QStringLiteral("ADD e4@example.org Default"), QStringLiteral("ADD e5@example.org Default")}));
    }

    void reprocessShowsTheLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("add");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("category");
        QTest::newRow("remove with category") << QStringLiteral("REMOVE a@example.org News") << false
                                              << QStringLiteral("a@example.org") << QStringLiteral("News");
        QTest::newRow("add in lower case") << QStringLiteral("add b@example.org sports") << true
                                           << QStringLiteral("b@example.org") << QStringLiteral("sports");
        QTest::newRow("bounce line, no category")
            << QStringLiteral("REMOVE c@example.org") << false << QStringLiteral("c@example.org") << QString();
        QTest::newRow("only a word") << QStringLiteral("ADD") << true << QString() << QString();
    }

    void reprocessShowsTheLine()
    {
        QFETCH(QString, line);
        QFETCH(bool, add);
        QFETCH(QString, address);
        QFETCH(QString, category);
        Tdlgreprocess d;
        d.showLine(line);
        QCOMPARE(d.rdbadd->isChecked(), add);
        QCOMPARE(d.rdbremove->isChecked(), !add);
        QCOMPARE(d.edtemail->text(), address);
        QCOMPARE(d.edtcategory->text(), category);
        QCOMPARE(d.btnok->isEnabled(), !address.isEmpty());
    }

    void reprocessRunsTheEntryOperation()
    {
        MainWindowFixture f;
        f.show();
        f.context->errors.setLines({QStringLiteral("ADD first@example.org Default"),
                                    QStringLiteral("ADD not-an-address News"),
                                    QStringLiteral("ADD last@example.org Default")});
        ModalDriver driver;
        // Cancel leaves the line; OK removes it first, then the corrected entry goes in.
        driver.expect<Tdlgreprocess>([](Tdlgreprocess *r) { QTest::mouseClick(r->btnCancel, Qt::LeftButton); });
        driver.expect<Tdlgreprocess>([](Tdlgreprocess *r) {
            r->edtemail->clear();
            QVERIFY(!r->btnok->isEnabled());
            QTest::keyClicks(r->edtemail, QStringLiteral("fixed@example.org"));
            QTest::mouseClick(r->btnok, Qt::LeftButton);
        });
        openErrors(f, [&](Tdlgerrors *d) {
            d->lbxerrors->setCurrentIndex(d->lbxerrors->model()->index(1, 0));
            QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
            QCOMPARE(f.context->errors.size(), 3);
            QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
        });
        QVERIFY(driver.done());
        QCOMPARE(f.context->errors.lines(), (QStringList{QStringLiteral("ADD first@example.org Default"),
                                                         QStringLiteral("ADD last@example.org Default")}));
        QVERIFY(f.context->dmML.tblML.locate(QStringLiteral("fixed@example.org")));
        QCOMPARE(f.context->dmML.tblML.current().Category, QStringLiteral("News"));
        QVERIFY(
            f.context->log.last().startsWith(QStringLiteral("ADD fixed@example.org News [Reprocessing of entry at ")));

        // A list file that cannot be read leaves the line where it was; an
        // empty list has nothing to delete or reprocess.
        f.context->dmML.tblML.close();
        ModalDriver again;
        again.expect<Tdlgreprocess>([](Tdlgreprocess *r) {
            QCOMPARE(r->edtemail->text(), QStringLiteral("last@example.org"));
            QTest::mouseClick(r->btnok, Qt::LeftButton);
        });
        const QStringList before = f.context->errors.lines();
        openErrors(f, [&](Tdlgerrors *d) {
            d->lbxerrors->setCurrentIndex(d->lbxerrors->model()->index(1, 0));
            QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
            QCOMPARE(f.context->errors.lines(), before);
            QCOMPARE(f.prompts.texts(ScriptedPrompts::Kind::Error).size(), 1);
            d->lbxerrors->selectAll();
            QTest::mouseClick(d->btndeleteentry, Qt::LeftButton);
            QVERIFY(!d->btndeleteentry->isEnabled());
            QVERIFY(!d->BitBtn1->isEnabled());
            f.context->errors.append(QStringLiteral("ADD x Default"));
            QVERIFY(d->BitBtn1->isEnabled());
        });
        QVERIFY(again.done());
    }
};

QTEST_MAIN(TestLogErrors)
#include "tst_logerrors.moc"
