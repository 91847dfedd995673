// The import window opened from the main window's menu, driven through its
// own widgets, reading a real file into the real table.
#include "testlib/MainWindowFixture.h"
#include "testlib/ModalDriver.h"

#include "dialogs/Import.h"
#include "dialogs/progress.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>

using Kind = ScriptedPrompts::Kind;

class TestImportDialog : public QObject
{
    Q_OBJECT

    static QString writeFile(const MainWindowFixture &f, const QByteArray &bytes)
    {
        const QString path = f.env.root() + QStringLiteral("/members.csv");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write the import file");
        return path;
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // A long import shows its progress window, which keeps the other windows
    // out, and its Cancel stops the import with what was done stored.
    void aLongImportShowsProgressAndCancelStopsIt()
    {
        MainWindowFixture f;
        f.show();
        constexpr int Lines = 20000;
        QByteArray bytes;
        for (int i = 0; i < Lines; ++i)
            bytes += "u" + QByteArray::number(i) + "@example.org\r\n";
        f.prompts.queueFileName(writeFile(f, bytes));
        int shown = 0;
        bool modal = false;
        // Runs whenever the job lets events run.
        QTimer watch;
        watch.setInterval(0);
        connect(&watch, &QTimer::timeout, this, [&] {
            auto *p = f.window->findChild<TdlgProgress *>();
            if (!p || !p->isVisible())
                return;
            modal = p->isModal() && QApplication::activeModalWidget() == p;
            if (++shown == 2)
                QTest::mouseClick(p->btnCancel, Qt::LeftButton);
        });
        ModalDriver driver;
        driver.expect<TdlgImport>([&](TdlgImport *d) {
            QTest::mouseClick(d->btnbrowse, Qt::LeftButton);
            watch.start();
            QTest::mouseClick(d->btnOK, Qt::LeftButton);
            watch.stop();
        });
        f.window->ImportMailingListEntries1->trigger();
        QVERIFY(driver.done());
        QVERIFY(shown >= 2);
        QVERIFY(modal);
        const QStringList told = f.prompts.texts(Kind::Information);
        QCOMPARE(told.size(), 1);
        static const QRegularExpression report(
            QStringLiteral("^Import cancelled: ([\\d,]+) of 20,000 lines processed\\.\n([\\d]+) added, 0 already "
                           "there, 0 refused\\.$"));
        const QRegularExpressionMatch m = report.match(told.constFirst());
        QVERIFY2(m.hasMatch(), qPrintable(told.constFirst()));
        const int done = m.captured(1).remove(QLatin1Char(',')).toInt();
        QCOMPARE(m.captured(2).toInt(), done);
        QVERIFY(done > 0 && done < Lines);
        QCOMPARE(f.window->lblcount->text(), QString::number(done) + QStringLiteral(" Records"));
        QVERIFY(!f.window->findChild<TdlgProgress *>());
    }

    void importsAFileWithCategories()
    {
        MainWindowFixture f({QStringLiteral("old@example.org|news|0|")});
        f.show();
        f.context->settings.defaultcategory = QStringLiteral("General");
        f.window->rdbfilter->click();
        QTest::keyClicks(f.window->edtfilter, QStringLiteral("news"));
        f.prompts.queueFileName(writeFile(f, "a@example.org;news\r\nb@example.org\r\n"));

        ModalDriver driver;
        driver.expect<TdlgImport>([&](TdlgImport *d) {
            [&] {
                QCOMPARE(d->windowTitle(), QStringLiteral("Import E-mail Addresses"));
                QVERIFY(!d->btnOK->isEnabled());
                QVERIFY(!d->edtdelimit->isEnabled() && !d->lbleg->isEnabled());
                QCOMPARE(d->edtcategory->text(), QStringLiteral("General"));
                QVERIFY(d->rdbadd->isChecked() && d->rdbremoveall->isChecked());
                QVERIFY(!d->rdbremoveall->isEnabled() && !d->edtremovecat->isEnabled());
                QTest::mouseClick(d->btnbrowse, Qt::LeftButton);
                QVERIFY(d->btnOK->isEnabled());
                QTest::mouseClick(d->chkcategory, Qt::LeftButton);
                QVERIFY(d->edtdelimit->isEnabled() && d->lbleg->isEnabled());
                d->edtdelimit->selectAll();
                QTest::keyClicks(d->edtdelimit, QStringLiteral(";;"));
                QCOMPARE(d->lbleg->text(), QStringLiteral("(e.g. someone@example.org;My_Category)"));
                QTest::mouseClick(d->rdbremove, Qt::LeftButton);
                QVERIFY(!d->edtcategory->isEnabled() && d->rdbremoveall->isEnabled());
                QTest::mouseClick(d->rdbremovecat, Qt::LeftButton);
                QVERIFY(d->edtremovecat->isEnabled());
                QTest::mouseClick(d->rdbadd, Qt::LeftButton);
                QVERIFY(d->edtcategory->isEnabled() && !d->rdbremovecat->isEnabled());
            }();
            QTest::mouseClick(d->btnOK, Qt::LeftButton);
        });
        f.window->ImportMailingListEntries1->trigger();
        QVERIFY(driver.done());
        QCOMPARE(f.prompts.calls().constFirst().filter, QStringLiteral("Comma-delimited Files (*.csv *.txt)"));
        QCOMPARE(f.prompts.texts(Kind::Information),
                 QStringList{QStringLiteral("2 entries have been processed!\n2 added, 0 already there, 0 refused.")});
        // The user's filter is back in force.
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("2 Records"));
        f.window->rdball->click();
        QCOMPARE(f.gridColumn(1),
                 (QStringList{QStringLiteral("news"), QStringLiteral("General"), QStringLiteral("news")}));
        QVERIFY(f.context->log.last().contains(QStringLiteral("Import of entries from file, members.csv ")));
    }

    void refusesBeforeImporting_data()
    {
        QTest::addColumn<bool>("removeFromOne");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no category to remove from")
            << true << QStringLiteral("You have not entered a category to remove these addresses from!");
        QTest::newRow("file gone after browsing")
            << false << QStringLiteral("Error encountered opening your import file!");
    }
    void refusesBeforeImporting()
    {
        QFETCH(bool, removeFromOne);
        QFETCH(QString, shown);
        MainWindowFixture f({QStringLiteral("old@example.org|news|0|")});
        f.show();
        const QString path = writeFile(f, "old@example.org\r\n");
        f.prompts.queueFileName(path);
        ModalDriver driver;
        driver.expect<TdlgImport>([&](TdlgImport *d) {
            QTest::mouseClick(d->btnbrowse, Qt::LeftButton);
            if (removeFromOne) {
                QTest::mouseClick(d->rdbremove, Qt::LeftButton);
                QTest::mouseClick(d->rdbremovecat, Qt::LeftButton);
            } else {
                QFile::remove(path);
            }
            QTest::mouseClick(d->btnOK, Qt::LeftButton);
        });
        f.window->ImportMailingListEntries1->trigger();
        QVERIFY(driver.done());
        const QList<ScriptedPrompts::Call> &calls = f.prompts.calls();
        QCOMPARE(calls.size(), 2);
        QVERIFY2(calls.at(1).text.startsWith(shown), qPrintable(calls.at(1).text));
        if (!removeFromOne)
            QVERIFY(calls.at(1).text.contains(QStringLiteral("members.csv")));
        QCOMPARE(f.gridColumn(0), QStringList{QStringLiteral("old@example.org")});
    }
};

QTEST_MAIN(TestImportDialog)
#include "tst_import.moc"
