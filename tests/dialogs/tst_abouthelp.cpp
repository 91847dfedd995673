// The about box and the help window, opened from the main window.
#include "testlib/MainWindowFixture.h"
#include "testlib/ModalDriver.h"

#include "dialogs/AboutBoxUnit.h"
#include "dialogs/help.h"

#include <QAction>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>

// Stands in for the desktop's browser and mail program.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE void open(const QUrl &url) { opened << url; }
    QList<QUrl> opened;
};

class TestAboutHelp : public QObject
{
    Q_OBJECT

    static QString helpText(QAction *trigger)
    {
        QString text;
        ModalDriver driver;
        driver.expect<TdlgHelp>([&](TdlgHelp *h) {
            text = h->RichEdit1->toPlainText();
            QTest::mouseClick(h->btnClose, Qt::LeftButton);
        });
        trigger->trigger();
        return driver.done() ? text : QStringLiteral("<help window not shown>");
    }

private Q_SLOTS:
    void aboutShowsVersionLinksAndHelpAboveIt()
    {
        MainWindowFixture f;
        f.show();
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
        ModalDriver driver;
        bool aboutBeneath = false;
        driver.expect<TAboutBox>([&](TAboutBox *a) {
            QCOMPARE(a->lblversion->text(), QStringLiteral("Version 0.95"));
            QTest::mouseClick(a->lblvarnel, Qt::LeftButton);
            QTest::mouseClick(a->lblemail, Qt::LeftButton);
            // The help window opens above the about box, which stays open.
            ModalDriver helpDriver;
            helpDriver.expect<TdlgHelp>([&](TdlgHelp *h) {
                aboutBeneath = a->isVisible() && h->parentWidget() == a;
                h->close();
            });
            QTest::mouseClick(a->BitBtn1, Qt::LeftButton);
            QVERIFY(helpDriver.done());
            QTest::mouseClick(a->OKbtn, Qt::LeftButton);
        });
        f.window->About1->trigger();
        QVERIFY(driver.done());
        QVERIFY(aboutBeneath);
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
        QCOMPARE(catcher.opened, (QList<QUrl>{TAboutBox::homePage(), TAboutBox::salesMail()}));
        QVERIFY(!TAboutBox::homePage().host().isEmpty());
        QCOMPARE(TAboutBox::salesMail().scheme(), QStringLiteral("mailto"));
    }

    void helpShowsTheDocumentOrThePlaceholder()
    {
        MainWindowFixture f;
        f.show();
        const QString placeholder = helpText(f.window->mnuHelp);
        QCOMPARE(placeholder, QStringLiteral("******************************************\n\n    Help File could not be "
                                             "found!\n\n******************************************\n"));

        // The document the build ships beside the program.
        QVERIFY(QFile::copy(QStringLiteral(QUILLMAR_HELP_RTF), f.env.programDir() + TdlgHelp::helpFileName()));
        ModalDriver driver;
        QString shipped;
        driver.expect<TdlgHelp>([&](TdlgHelp *h) {
            shipped = h->RichEdit1->toPlainText();
            h->close();
        });
        QTest::mouseClick(f.window->btnHelp, Qt::LeftButton);
        QVERIFY(driver.done());
        QVERIFY(shipped.contains(QStringLiteral("Options")));
        QVERIFY(shipped != placeholder && shipped.size() > 2000);
        QVERIFY(!shipped.contains(QStringLiteral("\\par")));

        // Not rich text at all: the placeholder, not a crash or garbage.
        QFile broken(f.env.programDir() + TdlgHelp::helpFileName());
        QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
        broken.write(QByteArray("\x00\x01\xff binary", 10));
        broken.close();
        QCOMPARE(helpText(f.window->mnuHelp), placeholder);
    }
};

QTEST_MAIN(TestAboutHelp)
#include "tst_abouthelp.moc"
