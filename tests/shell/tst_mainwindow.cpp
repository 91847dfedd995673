// The main window over a real table file: start-up, filter, count, sort,
// display hold, column fit and the files written at close.
#include "testlib/MainWindowFixture.h"
#include "testlib/ScriptedPrompts.h"
#include "testlib/TestEnv.h"

#include "core/SettingsStore.h"
#include "core/TextFile.h"
#include "dialogs/FormScale.h"
#include "grid/EntryGrid.h"
#include "grid/EntryTableModel.h"
#include "shell/AppContext.h"
#include "shell/main.h"
#include "store/MLSchema.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class TestMainWindow : public QObject
{
    Q_OBJECT

    using Fixture = MainWindowFixture;

    static QStringList categoryList()
    {
        return {QStringLiteral("a@example.org|AB"), QStringLiteral("b@example.org|abc"),
                QStringLiteral("c@example.org|Abroad"), QStringLiteral("d@example.org|cab"),
                QStringLiteral("e@example.org|news")};
    }

private Q_SLOTS:
    void firstShowLoadsDefaultsAndShowsEveryEntry()
    {
        Fixture f(categoryList());
        f.show();
        QCOMPARE(f.window->windowTitle(), QStringLiteral("Quillmar for Microsoft Outlook"));
        QCOMPARE(f.window->cmbsort->currentText(), QStringLiteral("Sort by E-mail"));
        QCOMPARE(f.context->dmML.tblML.indexName(), QStringLiteral("ByItem"));
        QVERIFY(f.window->rdball->isChecked());
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("5 Records"));
        QCOMPARE(f.context->log.lines(), LineList::logHeader());
        QCOMPARE(f.context->errors.size(), 0);
        // The key did not exist, so missing values take their defaults.
        QCOMPARE(f.context->settings.MultipleCategorySupport, true);
        QVERIFY(!f.window->Timer1.isActive());
        QVERIFY(f.prompts.calls().isEmpty());
        QCOMPARE(f.window->DBGrid1->entryModel()->rowCount(), 5);
    }

    void captionsAndLayout()
    {
        Fixture f;
        QCOMPARE(f.window->size(), formscale::size(630, 460));
        QCOMPARE(f.window->Panel1->width(), formscale::px(150));
        QCOMPARE(f.window->btngetoutlook->text(), QStringLiteral("Check for &New Entries"));
        QCOMPARE(f.window->btngetoutlook->toolTip(),
                 QStringLiteral("Opens Outlook and checks for new entries in the specified mailing list directory"));
        QCOMPARE(f.window->rdbfilter->text(), QStringLiteral("Filter Entries with the Category:"));
        QCOMPARE(f.window->edtfilter->toolTip(), QStringLiteral("Enter the category to filter entries by"));
        const QStringList sorts{QStringLiteral("Sort by E-mail"), QStringLiteral("Sort by Category"),
                                QStringLiteral("Sort by Bounce Count"), QStringLiteral("No Sorting")};
        for (int i = 0; i < sorts.size(); ++i)
            QCOMPARE(f.window->cmbsort->itemText(i), sorts.at(i));
        auto *model = f.window->DBGrid1->model();
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Item"));
        QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Comments"));
        QVERIFY(f.window->btngetoutlook->isEnabled());
        QVERIFY(f.window->btngetoutlook->isDefault());
    }

    void filterIsCaseInsensitivePrefix()
    {
        Fixture f(categoryList());
        f.show();
        f.window->rdbfilter->click();
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("5 Records")); // empty text: no filter
        QTest::keyClicks(f.window->edtfilter, QStringLiteral("ab"));
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("3 Records"));
        QTRY_COMPARE(f.window->DBGrid1->entryModel()->rowCount(), 3);
        QStringList cats = f.gridColumn(EntryTableModel::CategoryColumn);
        cats.sort(Qt::CaseInsensitive);
        QCOMPARE(cats, (QStringList{QStringLiteral("AB"), QStringLiteral("abc"), QStringLiteral("Abroad")}));

        // The filter stays in the table; "Display All Entries" only switches it off.
        f.window->rdball->click();
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("5 Records"));
        f.window->rdbfilter->click();
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("3 Records"));
    }

    void filterTextIsOnlyCharacters_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("count");
        QTest::newRow("quote") << QStringLiteral("o'b") << 1;
        QTest::newRow("percent") << QStringLiteral("%") << 1;
        QTest::newRow("underscore") << QStringLiteral("_") << 0;
        QTest::newRow("star") << QStringLiteral("*") << 0;
        QTest::newRow("at sign prefix") << QStringLiteral("x@") << 2;
    }

    void filterTextIsOnlyCharacters()
    {
        QFETCH(QString, typed);
        QFETCH(int, count);
        Fixture f({QStringLiteral("a@example.org|o'brien"), QStringLiteral("b@example.org|%off"),
                   QStringLiteral("c@example.org|x@y"), QStringLiteral("d@example.org|X@Z"),
                   QStringLiteral("e@example.org|xa")});
        f.show();
        f.window->rdbfilter->click();
        f.window->edtfilter->setText(typed);
        QCOMPARE(f.window->lblcount->text(), QString::number(count) + QStringLiteral(" Records"));
        QVERIFY(f.prompts.calls().isEmpty());
    }

    void oneEntryReadsOneRecords()
    {
        Fixture f({QStringLiteral("only@example.org|x")});
        f.show();
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("1 Records"));
    }

    void sortChoiceSelectsOrdering_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("index");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("e-mail") << 0 << QStringLiteral("ByItem")
                                << QStringList{QStringLiteral("a@x.org"), QStringLiteral("B@x.org"),
                                               QStringLiteral("c@x.org")};
        QTest::newRow("category") << 1 << QStringLiteral("ByCategory")
                                  << QStringList{QStringLiteral("a@x.org"), QStringLiteral("c@x.org"),
                                                 QStringLiteral("B@x.org")};
        QTest::newRow("bounces") << 2 << QStringLiteral("ByBounce")
                                 << QStringList{QStringLiteral("B@x.org"), QStringLiteral("a@x.org"),
                                                QStringLiteral("c@x.org")};
        QTest::newRow("none") << 3 << QString()
                              << QStringList{QStringLiteral("c@x.org"), QStringLiteral("a@x.org"),
                                             QStringLiteral("B@x.org")};
    }

    void sortChoiceSelectsOrdering()
    {
        QFETCH(int, choice);
        QFETCH(QString, index);
        QFETCH(QStringList, items);
        Fixture f({QStringLiteral("c@x.org|b|5"), QStringLiteral("a@x.org|A|3"), QStringLiteral("B@x.org|C|1")});
        f.show();
        f.window->cmbsort->setCurrentIndex(choice);
        QCOMPARE(f.context->dmML.tblML.indexName(), index);
        QTRY_COMPARE(f.gridColumn(EntryTableModel::ItemColumn), items);
    }

    void displayHoldNestsAndRestoresFilter()
    {
        Fixture f(categoryList());
        f.show();
        f.window->rdbfilter->click();
        f.window->edtfilter->setText(QStringLiteral("ab"));
        MLTable &table = f.context->dmML.tblML;

        f.window->newformpreparation(true);
        QVERIFY(!table.filtered());
        QCOMPARE(table.recordCount(), 5); // a held command sees the whole list
        f.window->newformpreparation(true);
        table.append(QStringLiteral("f@example.org"), QStringLiteral("abacus"), 0, QString());
        f.window->newformpreparation(false);
        QVERIFY(table.controlsDisabled());
        f.window->newformpreparation(false);
        QVERIFY(!table.controlsDisabled());
        QVERIFY(table.filtered());
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("4 Records"));
        QTRY_COMPARE(f.window->DBGrid1->entryModel()->rowCount(), 4);

        // A release with nothing held stays at zero.
        f.window->newformpreparation(false);
        QVERIFY(!table.controlsDisabled());
        f.window->newformpreparation(true);
        QVERIFY(table.controlsDisabled());
        f.window->newformpreparation(false);
    }

    void gridDoesNotFollowWhileHeld()
    {
        Fixture f(categoryList());
        f.show();
        auto *model = f.window->DBGrid1->entryModel();
        QSignalSpy resets(model, &QAbstractItemModel::modelReset);
        f.window->newformpreparation(true);
        resets.clear();
        for (int i = 0; i < 50; ++i)
            f.context->rules.insertentry(true, QStringLiteral("user%1@example.org").arg(i), {}, {});
        QCoreApplication::processEvents();
        QCOMPARE(resets.count(), 0);
        f.window->newformpreparation(false);
        QTRY_COMPARE(model->rowCount(), 55);
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("55 Records"));
    }

    void selectingARowMakesItCurrent()
    {
        Fixture f(categoryList());
        f.show();
        auto *grid = f.window->DBGrid1;
        grid->setCurrentIndex(grid->model()->index(3, 0));
        QCOMPARE(f.context->dmML.tblML.current().Item, grid->model()->index(3, 0).data().toString());
    }

    void ctrlDeleteAsksFirst()
    {
        Fixture f(categoryList());
        f.show();
        auto *grid = f.window->DBGrid1;
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(0, 0));
        const QString first = grid->model()->index(0, 0).data().toString();
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier); // answered No
        QCOMPARE(f.prompts.texts(ScriptedPrompts::Kind::Confirm), QStringList{QStringLiteral("Delete record?")});
        QCOMPARE(f.context->dmML.tblML.recordCount(), 5);
        f.prompts.queueConfirm(Prompts::Answer::Yes);
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(f.context->dmML.tblML.recordCount(), 4);
        QTRY_COMPARE(f.window->lblcount->text(), QStringLiteral("4 Records"));
        QVERIFY(!f.context->dmML.tblML.locate(first));
    }

    void columnFitStretchesOnlyItem()
    {
        Fixture f(categoryList());
        f.show();
        auto *grid = f.window->DBGrid1;
        const int category = grid->columnWidth(1);
        f.window->resize(900, 460);
        QTRY_COMPARE(grid->TotalColWidths(), grid->width());
        const int wide = grid->columnWidth(0);
        f.window->resize(700, 460);
        QTRY_COMPARE(grid->TotalColWidths(), grid->width());
        QCOMPARE(grid->columnWidth(0), wide - 200);
        QCOMPARE(grid->columnWidth(1), category);
    }

    void columnFitStopsAtTheMinimum()
    {
        MLTable table;
        EntryTableModel model(table);
        TEntryGrid grid;
        grid.setEntryModel(&model);
        for (int c = 0; c < 4; ++c)
            grid.setColumnWidth(c, 100);
        grid.resize(250, 100);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.ResizeToFit();
        QCOMPARE(grid.columnWidth(0), 20);
        QCOMPARE(grid.columnWidth(1), 100);
        grid.setResizeColMax(150);
        grid.resize(1000, 100);
        grid.ResizeToFit();
        QCOMPARE(grid.columnWidth(0), 150);
        grid.setResizeColMin(-5); // treated as no minimum
        grid.resize(100, 100);
        grid.ResizeToFit();
        QCOMPARE(grid.columnWidth(0), 0);
        QCOMPARE(grid.ResizeColMin(), 0);
    }

    void autoScanRunsTheCheckOnce()
    {
        Fixture f;
        f.context->settings.AutoScan = true; // stands in for the stored value
        int runs = 0;
        bool heldDuringCheck = false;
        f.window->setFolderCheck([&] {
            ++runs;
            heldDuringCheck = f.context->dmML.tblML.controlsDisabled();
        });
        // Store the choice so the first show reads it.
        {
            ScriptedPrompts quiet;
            Settings s;
            s.AutoScan = true;
            SettingsStore(f.context->programDir, quiet).SaveEntries(s, f.context->lists);
        }
        f.show();
        QVERIFY(f.window->Timer1.isActive());
        QTRY_COMPARE(runs, 1);
        QVERIFY(heldDuringCheck);
        QVERIFY(!f.window->Timer1.isActive());
        QTest::qWait(3 * Tfrmmain::AutoScanDelayMs);
        QCOMPARE(runs, 1);
        QVERIFY(!f.context->dmML.tblML.controlsDisabled());
        QTest::mouseClick(f.window->btngetoutlook, Qt::LeftButton);
        QCOMPARE(runs, 2);
    }

    void checkForNewEntriesRunsTheFolderCheck()
    {
        // The road of one subscribe request, from the mail store to the grid.
        Fixture f;
        const QString folder = f.env.home() + QStringLiteral("/Maildir/.VMailingList");
        for (const char *sub : {"tmp", "new", "cur"})
            QVERIFY(QDir().mkpath(folder + QLatin1Char('/') + QLatin1String(sub)));
        QFile message(folder + QStringLiteral("/new/1700000000.M1P1.host"));
        QVERIFY(message.open(QIODevice::WriteOnly));
        message.write("From: Ann <ann@example.org>\r\nTo: list@example.com\r\n"
                      "Date: Tue, 14 Nov 2023 10:00:00 +0000\r\nSubject: subscribe news\r\n\r\nHello\r\n");
        message.close();
        f.show();
        QTest::mouseClick(f.window->btngetoutlook, Qt::LeftButton);
        QVERIFY(f.prompts.calls().isEmpty());
        MLTable &table = f.context->dmML.tblML;
        QVERIFY(table.locate(QStringLiteral("ann@example.org"), QStringLiteral("news")));
        QVERIFY(table.current().Comments.startsWith(QStringLiteral("Changed enacted by e-mail sent ")));
        QVERIFY(f.context->log.last().startsWith(QStringLiteral("ADD ann@example.org news [Changed enacted by")));
        QVERIFY(f.context->log.last().endsWith(QStringLiteral(" by ann@example.org] -> Entered Successfully")));
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("1 Records"));
        QVERIFY(!QFile::exists(message.fileName()));
        QVERIFY(!table.controlsDisabled());
    }

    void checkFailureIsReportedAndTheWindowGoesOn()
    {
        Fixture f; // no mail store at all
        f.show();
        QTest::mouseClick(f.window->btngetoutlook, Qt::LeftButton);
        const QStringList errors = f.prompts.texts(ScriptedPrompts::Kind::Error);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains(QStringLiteral("Maildir")), qPrintable(errors.first()));
        QVERIFY(!f.context->dmML.tblML.controlsDisabled());
        QVERIFY(f.window->isVisible());
    }

    void closeWritesLogAndErrors()
    {
        Fixture f;
        textfile::writeLines(f.env.programDir() + QStringLiteral("errors.txt"), {QStringLiteral("ADD bad x")});
        f.show();
        QCOMPARE(f.context->errors.lines(), QStringList{QStringLiteral("ADD bad x")});
        f.context->rules.insertentry(true, QStringLiteral("new@example.org"), QStringLiteral("news"),
                                     QStringLiteral("c"));
        f.context->rules.insertentry(true, QStringLiteral("bad"), QStringLiteral("news"), QStringLiteral("c"));
        QVERIFY(f.window->close());
        QStringList log;
        QVERIFY(textfile::readLines(f.env.programDir() + QStringLiteral("log.txt"), &log));
        QCOMPARE(log.mid(0, 3), LineList::logHeader());
        QCOMPARE(log.value(3), QStringLiteral("ADD new@example.org news [c] -> Entered Successfully"));
        QCOMPARE(log.value(4), QStringLiteral("ADD bad news [c] -> Not Added: Invalid E-mail Address!"));
        QStringList errors;
        QVERIFY(textfile::readLines(f.env.programDir() + QStringLiteral("errors.txt"), &errors));
        QCOMPARE(errors, (QStringList{QStringLiteral("ADD bad x"),
                                      QStringLiteral("ADD bad news -> Not Added: Invalid E-mail Address!")}));
    }

    void existingLogIsKeptAndExtended()
    {
        Fixture f;
        const QStringList old{QStringLiteral("old line 1"), QStringLiteral("old line 2")};
        textfile::writeLines(f.env.programDir() + QStringLiteral("log.txt"), old);
        f.show();
        QCOMPARE(f.context->log.lines(), old);
        f.context->rules.processbounce(QStringLiteral("nobody@example.org"));
        QVERIFY(f.window->close());
        QStringList log;
        QVERIFY(textfile::readLines(f.env.programDir() + QStringLiteral("log.txt"), &log));
        QCOMPARE(
            log,
            old + QStringList{QStringLiteral("Update Undeliverable nobody@example.org -> E-mail address not found!")});
    }

    void unwritableLogAsksBeforeClosing()
    {
        Fixture f;
        f.show();
        // A directory where the file should be cannot be replaced, even by root.
        QVERIFY(QDir().mkpath(f.env.programDir() + QStringLiteral("log.txt")));
        f.prompts.queueConfirm(Prompts::Answer::No);
        QVERIFY(!f.window->close());
        QVERIFY(f.window->isVisible());
        QCOMPARE(f.prompts.texts(ScriptedPrompts::Kind::Confirm).size(), 1);
        f.prompts.queueConfirm(Prompts::Answer::Yes);
        QVERIFY(f.window->close());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
