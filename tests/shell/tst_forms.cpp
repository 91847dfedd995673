// Every window at the running font: no caption of a button, label, radio
// button, check box, group box or column is cut off.
#include "testlib/MainWindowFixture.h"
#include "testlib/TextFit.h"

#include "dialogs/Export.h"
#include "dialogs/Import.h"
#include "dialogs/addmore.h"
#include "dialogs/getmore.h"
#include "dialogs/AboutBoxUnit.h"
#include "dialogs/edtentry.h"
#include "dialogs/errors.h"
#include "dialogs/help.h"
#include "dialogs/logunit.h"
#include "dialogs/options.h"
#include "dialogs/reproc.h"
#include "dialogs/addrecip.h"
#include "dialogs/sendmail.h"
#include "dialogs/getlist.h"
#include "dialogs/progress.h"
#include "intake/FolderCheck.h"

#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QTabWidget>

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

    // Options, log, errors, reprocessing, list editor, about and help; every options page in turn.
    static void checkAuxFits(MainWindowFixture &f)
    {
        Tdlgoptions *options = f.window->dlgoptions;
        // A tab widget lays out only the page on top, so each page is checked on top.
        options->show();
        QVERIFY(QTest::qWaitForWindowExposed(options));
        for (int page = 0; page < options->PageControl1->count(); ++page) {
            options->PageControl1->setCurrentIndex(page);
            QCoreApplication::processEvents();
            const QStringList clipped = textfit::clippedTexts(options->PageControl1->currentWidget());
            QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral("; "))));
            const QString shots = qEnvironmentVariable("QUILLMAR_SCREENSHOT_DIR");
            if (!shots.isEmpty())
                options->grab().save(QDir(shots).filePath(QStringLiteral("dlgoptions%1.png").arg(page)));
        }
        options->hide();
        f.context->log.append(QStringLiteral("ADD someone@example.org news [a comment] -> Entered Successfully"));
        checkFits(f.window->dlglog);
        f.context->errors.append(QStringLiteral("ADD someone@example.org news"));
        checkFits(f.window->dlgerrors);
        Tdlgreprocess reprocess;
        reprocess.showLine(QStringLiteral("REMOVE someone@example.org news"));
        checkFits(&reprocess);
        Tdlgeditentries editor;
        checkFits(&editor);
        TAboutBox about({});
        checkFits(&about);
        TdlgHelp help(f.env.programDir());
        checkFits(&help);
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

        TdlgImport importDialog(*f.context, f.prompts, {});
        checkFits(&importDialog);
        TdlgEnterMore enterMore(*f.context, f.prompts, {});
        checkFits(&enterMore);
        TdlgGetMore getMore(*f.context, f.prompts, {});
        getMore.Timer1.setInterval(60 * 60 * 1000);
        checkFits(&getMore);

        TdlgExport exportDialog(f.context->dmML.tblML, f.prompts, {});
        checkFits(&exportDialog);

        checkAuxFits(f);

        SMapi noMail(f.env.programDir());
        TdlgAddRecip addRecip(f.prompts);
        TdlgSendMail sendMail(f.context->dmML.tblML, noMail, f.context->settings, f.prompts, {}, addRecip);
        checkFits(&addRecip);
        checkFits(&sendMail);
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
        checkAuxFits(f);
        QApplication::setFont(original);
    }
};

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
