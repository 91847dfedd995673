// The export dialog opened from the main window's menu, driven through its
// own widgets, writing a real file.
#include "testlib/MainWindowFixture.h"
#include "testlib/ModalDriver.h"

#include "dialogs/Export.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using Kind = ScriptedPrompts::Kind;

class TestExportDialog : public QObject
{
    Q_OBJECT

    static QStringList entries()
    {
        return {QStringLiteral("b@example.org|sports|2|likes; semicolons"), QStringLiteral("a@example.org|news|0|"),
                QStringLiteral("c@example.org|arts|5|third")};
    }

    static QByteArray fileBytes(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

private Q_SLOTS:
    void exportsTheChosenFieldsOfEveryEntry()
    {
        MainWindowFixture f(entries());
        f.show();
        f.window->cmbsort->setCurrentIndex(1); // by category
        f.window->rdbfilter->click();
        QTest::keyClicks(f.window->edtfilter, QStringLiteral("news"));
        const QString target = f.env.root() + QStringLiteral("/list.txt");
        f.prompts.queueFileName(target);

        ModalDriver driver;
        bool checked = false;
        driver.expect<TdlgExport>([&](TdlgExport *d) {
            [&] {
                QCOMPARE(d->windowTitle(), QStringLiteral("Export E-mail List"));
                QVERIFY(d->chkEmail->isChecked());
                QVERIFY(!d->chkcategory->isChecked() && !d->chkcomments->isChecked());
                QCOMPARE(d->edtdelimit->text(), QStringLiteral(","));
                QVERIFY(!d->btnok->isEnabled());
                QTest::mouseClick(d->btnSave, Qt::LeftButton);
                QCOMPARE(d->edtfile->text(), target);
                QVERIFY(d->btnok->isEnabled());
                // No field: OK goes off; any one field brings it back.
                QTest::mouseClick(d->chkEmail, Qt::LeftButton);
                QVERIFY(!d->btnok->isEnabled());
                QTest::mouseClick(d->chkcomments, Qt::LeftButton);
                QVERIFY(d->btnok->isEnabled());
                QTest::mouseClick(d->chkEmail, Qt::LeftButton);
                d->edtdelimit->selectAll();
                QTest::keyClicks(d->edtdelimit, QStringLiteral(";;"));
                QCOMPARE(d->edtdelimit->text(), QStringLiteral(";"));
                checked = true;
            }();
            QTest::mouseClick(d->btnok, Qt::LeftButton);
        });
        f.window->ExportMailingListEntries1->trigger();
        QVERIFY(driver.done());
        QVERIFY(checked);
        QCOMPARE(f.prompts.texts(Kind::SaveFile).size(), 1);
        QCOMPARE(f.prompts.calls().constFirst().filter,
                 QStringLiteral("Comma-delimited Files (*.csv);;Text File (*.txt)"));
        QCOMPARE(fileBytes(target), QByteArray("c@example.org;third;\r\na@example.org;;\r\n"
                                               "b@example.org;\"likes; semicolons\";\r\n"));
        QCOMPARE(f.window->lblcount->text(), QStringLiteral("1 Records"));
    }

    void cancelWritesNothing()
    {
        MainWindowFixture f(entries());
        f.show();
        const QString target = f.env.root() + QStringLiteral("/never-written.csv");
        ModalDriver driver;
        driver.expect<TdlgExport>([&](TdlgExport *d) {
            d->edtfile->setText(target);
            QTest::mouseClick(d->btnCancel, Qt::LeftButton);
        });
        f.window->ExportMailingListEntries1->trigger();
        QVERIFY(driver.done());
        QVERIFY(!QFile::exists(target));
    }

    // The reason and the file under the sentence users know, and the
    // dialog stays with its choices for another try.
    void exportIntoAMissingFolderSaysSo()
    {
        MainWindowFixture f(entries());
        f.show();
        const QString folder = f.env.root() + QStringLiteral("/no-such-folder");
        const QString target = folder + QStringLiteral("/list.csv");
        ModalDriver driver;
        bool stayed = false;
        driver.expect<TdlgExport>([&](TdlgExport *d) {
            d->edtfile->setText(target);
            QTest::mouseClick(d->chkcategory, Qt::LeftButton);
            QTest::mouseClick(d->btnok, Qt::LeftButton);
            stayed = d->isVisible() && d->edtfile->text() == target && d->chkcategory->isChecked();
            QTest::mouseClick(d->btnCancel, Qt::LeftButton);
        });
        f.window->ExportMailingListEntries1->trigger();
        QVERIFY(driver.done());
        QCOMPARE(f.prompts.warnings(),
                 QStringList{QStringLiteral("An error was encountered saving the file, ") + target
                             + QStringLiteral(", check you have sufficient disk space and try again.\n") + target
                             + QStringLiteral(": the folder ") + folder + QStringLiteral(" does not exist.")});
        QVERIFY(stayed);
    }
};

QTEST_MAIN(TestExportDialog)
#include "tst_export.moc"
