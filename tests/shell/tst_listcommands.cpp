// The list commands of the main window's menus over a real table file.
#include "testlib/MainWindowFixture.h"

#include "core/TextFile.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <sqlite3.h>

using Kind = ScriptedPrompts::Kind;
using Answer = Prompts::Answer;

class TestListCommands : public QObject
{
    Q_OBJECT

    static QStringList threeEntries()
    {
        return {QStringLiteral("a@example.org|news|3|first"), QStringLiteral("B@Example.ORG|sports|7|second"),
                QStringLiteral("c@example.org|news|1|third")};
    }

    // Selects the grid row showing this address, as a click would.
    static void select(MainWindowFixture &f, const QString &item)
    {
        const int row = f.gridColumn(0).indexOf(item);
        QVERIFY(row >= 0);
        f.window->DBGrid1->setCurrentIndex(f.window->DBGrid1->model()->index(row, 0));
    }

    static QString fileText(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<missing>");
    }

private Q_SLOTS:
    void deleteRecordAsksFirst_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("left");
        const QStringList all{QStringLiteral("a@example.org"), QStringLiteral("B@Example.ORG"),
                              QStringLiteral("c@example.org")};
        const QStringList withoutB{QStringLiteral("a@example.org"), QStringLiteral("c@example.org")};
        QTest::newRow("menu, yes") << "DeleteRecord1" << true << withoutB;
        QTest::newRow("pop-up, yes") << "DeleteEntry1" << true << withoutB;
        QTest::newRow("menu, no") << "DeleteRecord1" << false << all;
    }
    void deleteRecordAsksFirst()
    {
        QFETCH(QString, action);
        QFETCH(bool, yes);
        QFETCH(QStringList, left);
        MainWindowFixture f(threeEntries());
        f.show();
        select(f, QStringLiteral("B@Example.ORG"));
        f.prompts.queueConfirm(yes ? Answer::Yes : Answer::No);
        f.window->findChild<QAction *>(action)->trigger();
        QCOMPARE(f.prompts.texts(Kind::Confirm),
                 QStringList{QStringLiteral("Are you sure you want to delete the current record?\nB@Example.ORG")});
        QTRY_COMPARE(f.gridColumn(0), left);
        QCOMPARE(f.window->lblcount->text(), QString::number(left.size()) + QStringLiteral(" Records"));
        QVERIFY(f.prompts.texts(Kind::Error).isEmpty());
    }

    void deleteOnAnEmptyListChangesNothing()
    {
        MainWindowFixture f;
        f.show();
        f.prompts.queueConfirm(Answer::Yes);
        f.window->DeleteRecord1->trigger();
        QVERIFY(f.prompts.calls().isEmpty());
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("0 Records"));
    }

    // The highlighted member stays highlighted, and stays the one a command
    // acts on, through a filter, its removal and a new order.
    void highlightFollowsTheMemberThroughViewChanges()
    {
        MainWindowFixture f(threeEntries());
        f.show();
        select(f, QStringLiteral("c@example.org"));
        const auto highlighted = [&] {
            const QModelIndex at = f.window->DBGrid1->currentIndex();
            return at.isValid() ? f.gridColumn(0).value(at.row()) : QString();
        };
        f.window->edtfilter->setText(QStringLiteral("news"));
        f.window->rdbfilter->click();
        QTRY_COMPARE(f.gridColumn(0).size(), 2);
        QTRY_COMPARE(highlighted(), QStringLiteral("c@example.org"));
        f.window->rdball->click();
        QTRY_COMPARE(f.gridColumn(0).size(), 3);
        QTRY_COMPARE(highlighted(), QStringLiteral("c@example.org"));
        f.window->cmbsort->setCurrentIndex(2); // by bounce count: c comes first
        QTRY_COMPARE(f.gridColumn(0).constFirst(), QStringLiteral("c@example.org"));
        QTRY_COMPARE(highlighted(), QStringLiteral("c@example.org"));

        f.prompts.queueConfirm(Answer::Yes);
        f.window->DeleteRecord1->trigger();
        QCOMPARE(f.prompts.texts(Kind::Confirm),
                 QStringList{QStringLiteral("Are you sure you want to delete the current record?\nc@example.org")});
        QTRY_COMPARE(f.gridColumn(0).size(), 2);
        QVERIFY(!f.gridColumn(0).contains(QStringLiteral("c@example.org")));
    }

    void moveToBlockedListKeepsTheAddressAtOnce()
    {
        MainWindowFixture f(threeEntries());
        f.show();
        select(f, QStringLiteral("B@Example.ORG"));
        f.prompts.queueConfirm(Answer::Yes);
        f.window->mkaddtonever2->trigger();
        // One question only: the delete that follows does not ask again.
        QCOMPARE(f.prompts.texts(Kind::Confirm),
                 QStringList{QStringLiteral("Are you sure you want to move B@Example.ORG to your never send list?")});
        QVERIFY(f.context->lists.never.contains(QStringLiteral("b@example.org")));
        QVERIFY(f.context->lists.never.items().contains(QStringLiteral("b@example.org")));
        QStringList onDisk;
        QVERIFY(textfile::readLines(f.env.programDir() + QStringLiteral("never.txt"), &onDisk));
        QCOMPARE(onDisk, f.context->lists.never.items());
        QTRY_COMPARE(f.gridColumn(0), (QStringList{QStringLiteral("a@example.org"), QStringLiteral("c@example.org")}));

        // No: neither list nor table change.
        f.prompts.clear();
        select(f, QStringLiteral("a@example.org"));
        f.window->mkaddtonever->trigger();
        QVERIFY(!f.context->lists.never.contains(QStringLiteral("a@example.org")));
        QCOMPARE(f.gridColumn(0).size(), 2);
    }

    void resetBounceCounts()
    {
        MainWindowFixture f(threeEntries());
        f.show();
        select(f, QStringLiteral("B@Example.ORG"));
        f.window->ResetBounceCount1->trigger();
        QTRY_COMPARE(f.gridColumn(2), (QStringList{QStringLiteral("3"), QStringLiteral("0"), QStringLiteral("1")}));

        // All of them, filter or not, and the filter is in force afterwards.
        f.window->rdbfilter->click();
        QTest::keyClicks(f.window->edtfilter, QStringLiteral("sp"));
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("1 Records"));
        f.window->ResetBounceCountforallEntries1->trigger();
        QVERIFY(f.prompts.calls().isEmpty());
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("1 Records"));
        f.window->rdball->click();
        QTRY_COMPARE(f.gridColumn(2), (QStringList{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")}));
    }

    void deleteAllEntries()
    {
        MainWindowFixture f(threeEntries());
        f.show();
        f.window->DeleteAllEntries1->trigger();
        QCOMPARE(f.prompts.texts(Kind::Confirm),
                 QStringList{QStringLiteral(
                     "This will delete all the entries in mailing list!  Are you sure you want to continue?")});
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("3 Records"));

        f.prompts.queueConfirm(Answer::Yes);
        f.window->DeleteAllEntries1->trigger();
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("0 Records"));
        QTRY_COMPARE(f.gridColumn(0), QStringList());
        MLTable &table = f.context->dmML.tblML;
        QVERIFY(table.active());
        QVERIFY(!table.exclusive());
        table.append(QStringLiteral("new@example.org"), QStringLiteral("news"), 0, QString());
    }

    void deleteAllWhileAnotherProgramHoldsTheFile()
    {
        MainWindowFixture f(threeEntries());
        f.show();
        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open((f.env.programDir() + QStringLiteral("mailist.DAT")).toUtf8().constData(), &other),
                 SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        f.prompts.queueConfirm(Answer::Yes);
        f.window->DeleteAllEntries1->trigger();
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        QCOMPARE(f.prompts.texts(Kind::Error), QStringList{QStringLiteral("Error empying your table!")});
        MLTable &table = f.context->dmML.tblML;
        QVERIFY(table.active());
        QVERIFY(!table.exclusive());
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("3 Records"));
    }

    void backupWritesEveryFieldAndOverwrites()
    {
        MainWindowFixture f(threeEntries());
        f.show();
        const QString path = f.env.programDir() + QStringLiteral("backup.csv");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older backup, longer than the new one will be, so a leftover tail would show\r\n");
        old.close();
        f.window->rdbfilter->click();
        QTest::keyClicks(f.window->edtfilter, QStringLiteral("news"));
        f.window->SaveBackUpFile1->trigger();
        QCOMPARE(fileText(path), QStringLiteral("a@example.org,news,first,\r\nB@Example.ORG,sports,second,\r\n"
                                                "c@example.org,news,third,\r\n"));
        QCOMPARE(f.prompts.texts(Kind::Information),
                 QStringList{QStringLiteral("Your backup file has been saved as ") + path
                             + QStringLiteral(".  You can view it with Excel or notepad")});
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("2 Records"));
    }

    void inlineEditingTogglesAndGuardsEdits()
    {
        MainWindowFixture f(threeEntries());
        f.show();
        TEntryGrid *grid = f.window->DBGrid1;
        QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectRows);
        f.window->mkAllowEditing->trigger();
        QVERIFY(f.window->mkAllowEditing->isChecked());
        QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectItems);
        QVERIFY(grid->model()->flags(grid->model()->index(0, 3)) & Qt::ItemIsEditable);

        QAbstractItemModel *model = grid->model();
        const QString quoted
            = QStringLiteral("it's 100% \"fine\"; DROP TABLE mailist;") + QString(60, QLatin1Char('x'));
        QVERIFY(model->setData(model->index(0, 3), quoted));
        QTRY_COMPARE(model->index(0, 3).data().toString(), quoted.left(80));

        // A change another program made meanwhile is not overwritten.
        sqlite3 *other = nullptr;
        sqlite3_open((f.env.programDir() + QStringLiteral("mailist.DAT")).toUtf8().constData(), &other);
        sqlite3_exec(other, "UPDATE mailist SET Comments = 'theirs' WHERE Item = 'c@example.org'", nullptr, nullptr,
                     nullptr);
        sqlite3_close(other);
        QVERIFY(!model->setData(model->index(2, 3), QStringLiteral("mine")));
        QCOMPARE(f.prompts.texts(Kind::Error),
                 QStringList{QStringLiteral("The record has been changed by another user.")});

        f.window->mkAllowEditing->trigger();
        QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(!(grid->model()->flags(grid->model()->index(0, 3)) & Qt::ItemIsEditable));
    }
};

QTEST_MAIN(TestListCommands)
#include "tst_listcommands.moc"
