// The manual entry window from the main window's button and menu, driven
// through its own widgets over the real table.
#include "testlib/MainWindowFixture.h"
#include "testlib/ModalDriver.h"

#include "dialogs/addmore.h"

#include <QAccessible>
#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

using Kind = ScriptedPrompts::Kind;
using Answer = Prompts::Answer;

class TestEnterMore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A screen reader names each field, and no two alike.
    void fieldsHaveTheirOwnNames()
    {
        MainWindowFixture f;
        TdlgEnterMore d(*f.context, f.prompts, {});
        QStringList names;
        const auto fields = d.findChildren<QWidget *>();
        for (QWidget *w : fields) {
            if (!qobject_cast<QLineEdit *>(w) && !qobject_cast<QPlainTextEdit *>(w))
                continue;
            const QString name = QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
            QVERIFY2(!name.isEmpty(), qPrintable(w->objectName()));
            QVERIFY2(!names.contains(name), qPrintable(name));
            names << name;
        }
        QCOMPARE(names.size(), 3);
    }

    void processesTypedAddresses_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QString>("counts");
        QTest::newRow("add") << "rdbadd"
                             << QStringList{QStringLiteral("a@example.org|news|0"),
                                            QStringLiteral("b@example.org|sports|0"),
                                            QStringLiteral("c@example.org|General|0")}
                             << QStringLiteral("1 added, 1 already there, 0 refused.");
        QTest::newRow("remove from all") << "rdbremove" << QStringList{QStringLiteral("b@example.org|sports|0")}
                                         << QStringLiteral("1 removed, 1 not found, 0 refused.");
        QTest::newRow("bounce") << "rdbbounce"
                                << QStringList{QStringLiteral("a@example.org|news|1"),
                                               QStringLiteral("b@example.org|sports|0")}
                                << QStringLiteral("1 counted as undeliverable, 1 not found, 0 refused.");
    }
    void processesTypedAddresses()
    {
        QFETCH(QString, mode);
        QFETCH(QStringList, left);
        QFETCH(QString, counts);
        MainWindowFixture f({QStringLiteral("a@example.org|news|0|"), QStringLiteral("b@example.org|sports|0|")});
        f.show();
        f.context->settings.defaultcategory = QStringLiteral("General");
        f.context->settings.MultipleCategorySupport = false;
        ModalDriver driver;
        bool emptied = false;
        driver.expect<TdlgEnterMore>([&](TdlgEnterMore *d) {
            d->memin->setPlainText(QStringLiteral("  a@example.org  \n\nc@example.org\n"));
            d->findChild<QRadioButton *>(mode)->click();
            QTest::mouseClick(d->btnProcessAll, Qt::LeftButton);
            emptied = d->memin->toPlainText().isEmpty();
            QTest::mouseClick(d->btnClose, Qt::LeftButton);
        });
        QTest::mouseClick(f.window->btnAddMore, Qt::LeftButton);
        QVERIFY(driver.done());
        QVERIFY(emptied);
        QCOMPARE(f.prompts.texts(Kind::Information),
                 QStringList{QStringLiteral("2 entries have been processed!\n") + counts});
        QStringList rows;
        for (int r = 0; r < f.gridColumn(0).size(); ++r)
            rows << f.gridColumn(0).at(r) + QLatin1Char('|') + f.gridColumn(1).at(r) + QLatin1Char('|')
                        + f.gridColumn(2).at(r);
        QCOMPARE(rows, left);
        if (mode == u"rdbadd")
            QVERIFY(f.context->log.last().contains(QStringLiteral("Manual insertion of addresses at ")));
    }

    void closePromptAndMissingCategory()
    {
        MainWindowFixture f;
        f.show();
        f.prompts.queueConfirm(Answer::No);
        f.prompts.queueConfirm(Answer::Yes);
        ModalDriver driver;
        QString kept;
        driver.expect<TdlgEnterMore>([&](TdlgEnterMore *d) {
            d->memin->setPlainText(QStringLiteral("x@example.org"));
            QTest::mouseClick(d->rdbremove, Qt::LeftButton);
            QTest::mouseClick(d->rdbremovecat, Qt::LeftButton);
            QTest::mouseClick(d->btnProcessAll, Qt::LeftButton);
            kept = d->memin->toPlainText();
            QTest::mouseClick(d->btnClose, Qt::LeftButton); // No: stays open
            if (d->isVisible())
                QTest::keyClick(d, Qt::Key_Escape); // Yes: closes
        });
        f.window->mnuAddMore->trigger();
        QVERIFY(driver.done());
        QCOMPARE(kept, QStringLiteral("x@example.org"));
        const QString question
            = QStringLiteral("You still have entries that you have not processed.  Are you sure you want to close?");
        QCOMPARE(f.prompts.texts(Kind::Information),
                 QStringList{QStringLiteral("You have not entered a category to remove these addresses from!")});
        QCOMPARE(f.prompts.texts(Kind::Confirm), (QStringList{question, question}));
    }
};

QTEST_MAIN(TestEnterMore)
#include "tst_addmore.moc"
