// Every window at the running font: no caption of a button, label, radio
// button, check box, group box or column is cut off.
#include "testlib/MainWindowFixture.h"
#include "testlib/TextFit.h"

#include "dialogs/Export.h"
#include "dialogs/getlist.h"
#include "dialogs/progress.h"
#include "intake/FolderCheck.h"

#include <QDir>
#include <QLabel>

class TestForms : public QObject
{
    Q_OBJECT

    static void checkFits(QWidget *window)
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QStringList clipped = textfit::clippedTexts(window);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral("; "))));
        // For looking at the windows by eye.
        const QString shots = qEnvironmentVariable("QUILLMAR_SCREENSHOT_DIR");
        if (!shots.isEmpty())
            window->grab().save(QDir(shots).filePath(window->objectName() + QStringLiteral(".png")));
        window->hide();
    }

private Q_SLOTS:
    void everyCaptionFits()
    {
        MainWindowFixture f({QStringLiteral("someone@example.org|news|3|a comment")});
        checkFits(f.window.get());

        TdlgProgress progress;
        progress.lblmessage->setText(QStringLiteral("Sending e-mail to someone@example.org"));
        checkFits(&progress);

        FolderCheck check(f.context->settings, f.context->lists, f.context->rules, f.prompts);
        TfrmExtractentries extract(check);
        extract.Timer1.setInterval(60 * 60 * 1000);
        checkFits(&extract);

        TdlgExport exportDialog(f.context->dmML.tblML, f.prompts, {});
        checkFits(&exportDialog);
    }

    void formsGrowWithTheFont()
    {
        const QFont original = QApplication::font();
        QFont large = original;
        large.setPointSizeF(original.pointSizeF() * 1.5);
        QApplication::setFont(large);
        MainWindowFixture f({QStringLiteral("someone@example.org|news|3|a comment")});
        checkFits(f.window.get());
        TdlgExport exportDialog(f.context->dmML.tblML, f.prompts, {});
        checkFits(&exportDialog);
        QApplication::setFont(original);
    }
};

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
