// The options dialog opened from the main window: OK, Cancel and the title
// bar, the derived values, the list editor's rules and the enable rules.
#include "testlib/MainWindowFixture.h"
#include "testlib/ModalDriver.h"

#include "core/SettingsStore.h"
#include "core/TextFile.h"
#include "dialogs/edtentry.h"
#include "dialogs/options.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

using Kind = ScriptedPrompts::Kind;

class TestOptions : public QObject
{
    Q_OBJECT

    struct Shown
    {
        std::unique_ptr<MainWindowFixture> f
            = std::make_unique<MainWindowFixture>(QStringList{QStringLiteral("Boss@Example.org|news|0|")});
        Shown() { f->show(); }
        Tdlgoptions *dialog() const { return f->window->dlgoptions; }
        // Opens the options from the menu and lets act answer them.
        void open(const std::function<void(Tdlgoptions *)> &act)
        {
            ModalDriver driver;
            driver.expect<Tdlgoptions>([&](Tdlgoptions *d) {
                // The list display is held while the options are open.
                QVERIFY(f->context->dmML.tblML.controlsDisabled());
                act(d);
            });
            f->window->Options1->trigger();
            QVERIFY(driver.done());
            QVERIFY(!f->context->dmML.tblML.controlsDisabled());
        }
        void stored(Settings &s, RuleLists &l) const
        {
            SettingsStore(f->env.programDir(), f->prompts).Loadentries(s, l);
        }
    };

    static QStringList shownItems(QListWidget *box)
    {
        QStringList out;
        for (int i = 0; i < box->count(); ++i)
            out << box->item(i)->text();
        return out;
    }

    // Types text into the list editor that button opens and presses OK or Cancel.
    static void editList(QPushButton *button, const QString &text, bool ok)
    {
        ModalDriver driver;
        driver.expect<Tdlgeditentries>([&](Tdlgeditentries *e) {
            e->Memo1->setPlainText(text);
            QTest::mouseClick(ok ? e->btnOK : e->btnCancel, Qt::LeftButton);
        });
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(driver.done());
    }

private Q_SLOTS:
    void okStoresWhatIsShownAndARestartShowsIt()
    {
        Shown s;
        QCOMPARE(s.f->context->settings.MailingListGroup, QStringLiteral("VMailingList"));
        s.open([&](Tdlgoptions *d) {
            QCOMPARE(d->edtmaillistgroup->text(), QStringLiteral("VMailingList"));
            QVERIFY(d->rdbMultipleCategories->isChecked());
            QVERIFY(d->rdbmultiemail->isChecked());
            QCOMPARE(d->spnmaxsendcount->value(), 500);
            d->edtmaillistgroup->setText(QStringLiteral("Lists"));
            d->rdbScanAllLines->click();
            d->chkautoscan->click();
            d->edtdefaultcategory->clear();
            d->edtAlternativeCategory->clear();
            d->rdbSingleCategory->click();
            d->rdbrestrictcategories->click(); // with an empty list: no restriction
            d->rdbsingleemail->click();
            d->spnbouncemax->setValue(3);
            d->defaulttoaddress->setText(QStringLiteral("me@example.org"));
            d->chkfailedmail->setChecked(true);
            QVERIFY(d->chkreaddeliveryreports->isChecked());
            d->chkreaddeliveryreports->click();
            // Live at once, before OK.
            QVERIFY(s.f->context->settings.AutoScan);
            QCOMPARE(s.f->context->settings.BounceMax, 3);
            QCOMPARE(s.f->context->settings.MailingListGroup, QStringLiteral("VMailingList"));
            QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
        });
        Settings stored;
        RuleLists lists;
        s.stored(stored, lists);
        QCOMPARE(stored, s.f->context->settings);
        QCOMPARE(stored.MailingListGroup, QStringLiteral("Lists"));
        QCOMPARE(stored.defaultcategory, QStringLiteral("Default"));
        QCOMPARE(stored.AlternativeCategory, QStringLiteral("Default"));
        QCOMPARE(stored.SendCount, 1);
        QVERIFY(stored.ScanAllEmailLines && stored.AutoScan && !stored.MultipleCategorySupport);
        QVERIFY(!stored.ReadDeliveryReports);
        QVERIFY(!stored.RestrictCategories);
        QVERIFY(QFile::exists(s.f->env.programDir() + QStringLiteral("failed.txt")));

        // A restart starts from the built-in values and reads the same files.
        s.f->context->settings = Settings();
        s.f->context->lists = RuleLists();
        s.f->window->FormShow();
        s.f->window->Timer1.stop(); // auto-scan is on now
        ModalDriver driver;
        driver.expect<Tdlgoptions>([&](Tdlgoptions *d) {
            QCOMPARE(d->edtmaillistgroup->text(), QStringLiteral("Lists"));
            QVERIFY(d->rdbScanAllLines->isChecked() && d->chkautoscan->isChecked());
            QVERIFY(d->rdbSingleCategory->isChecked() && d->rdballcats->isChecked());
            QVERIFY(d->rdbsingleemail->isChecked() && !d->spnmaxsendcount->isEnabled());
            QCOMPARE(d->spnbouncemax->value(), 3);
            QVERIFY(!d->chkreaddeliveryreports->isChecked());
            QCOMPARE(d->defaulttoaddress->text(), QStringLiteral("me@example.org"));
            d->reject();
        });
        s.f->window->Options1->trigger();
        QVERIFY(driver.done());
    }

    void cancelReloadsFromStorageAndKeepsABlockedAddress()
    {
        Shown s;
        s.open([&](Tdlgoptions *d) { QTest::mouseClick(d->BitBtn1, Qt::LeftButton); });
        const Settings saved = s.f->context->settings;
        // Blocked from the main window: written at once, so Cancel keeps it.
        s.f->prompts.queueConfirm(Prompts::Answer::Yes);
        s.f->window->mkaddtonever->trigger();
        QVERIFY(s.f->context->lists.never.contains(QStringLiteral("boss@example.org")));
        QFile::remove(s.f->env.programDir() + QStringLiteral("except.txt"));
        s.open([&](Tdlgoptions *d) {
            QVERIFY(shownItems(d->lbxneversubscribe).contains(QStringLiteral("boss@example.org")));
            d->chkUpdateCommentsWhenEntryExists->click();
            d->spnbouncemax->setValue(77);
            editList(d->btninvalidentries, QStringLiteral("zzz"), true);
            editList(d->btnneverjoin, QStringLiteral("other@example.org"), true);
            QCOMPARE(s.f->context->lists.except.items(), QStringList{QStringLiteral("zzz")});
            QTest::mouseClick(d->BitBtn2, Qt::LeftButton);
        });
        QCOMPARE(s.f->context->settings, saved);
        QVERIFY(s.f->context->lists.never.contains(QStringLiteral("boss@example.org")));
        QVERIFY(!s.f->context->lists.never.contains(QStringLiteral("other@example.org")));
        // No file: the built-in exceptions, as on a fresh start.
        QCOMPARE(s.f->context->lists.except.items(), RuleLists().except.items());
    }

    void titleBarCloseWritesNothing()
    {
        Shown s;
        s.open([&](Tdlgoptions *d) {
            d->edtmaillistgroup->setText(QStringLiteral("Elsewhere"));
            d->chkfailedmail->setChecked(!d->chkfailedmail->isChecked());
            d->close();
        });
        const bool failedMail = s.f->context->settings.FailedMail;
        QCOMPARE(s.f->context->settings.MailingListGroup, QStringLiteral("VMailingList"));
        QVERIFY(QDir(s.f->env.programDir()).entryList({QStringLiteral("*.txt")}).isEmpty());
        // The edit stays for the run; the derived folder name shows as it is in force.
        s.open([&](Tdlgoptions *d) {
            QCOMPARE(d->chkfailedmail->isChecked(), failedMail);
            QCOMPARE(d->edtmaillistgroup->text(), QStringLiteral("VMailingList"));
            d->close();
        });
    }

    void listEditor_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<Prompts::Answer>>("answers");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QStringList>("expected");
        using A = Prompts::Answer;
        const auto row = [](const char *name, const char *button, const char *typed, QList<A> answers, bool ok,
                            const char *expected) {
            QTest::newRow(name) << QString::fromLatin1(button) << QString::fromLatin1(typed) << answers << ok
                                << QString::fromLatin1(expected).split(QLatin1Char('|'));
        };
        row("categories: blanks asked per line, typed order", "edtcategories",
            "Gold Members\nsilver\n\n   \nBronze Club Two\nAlpha", {A::Yes, A::No}, true, "gold_members|silver|alpha");
        row("failure phrases keep case", "btndeliveryfailure", "Bounce Notice\nmail failed", {}, true,
            "Bounce Notice|mail failed");
        row("cancel leaves the list", "btnsubsynonyms", "other", {}, false, "ADD|JOIN|SUBSCRIBE");
    }

    void listEditor()
    {
        QFETCH(QString, button);
        QFETCH(QString, typed);
        QFETCH(QList<Prompts::Answer>, answers);
        QFETCH(bool, ok);
        QFETCH(QStringList, expected);
        Shown s;
        for (Prompts::Answer a : answers)
            s.f->prompts.queueConfirm(a);
        s.open([&](Tdlgoptions *d) {
            auto *b = d->findChild<QPushButton *>(button);
            QVERIFY(b);
            d->rdbrestrictcategories->click();
            d->chkfailedmail->setChecked(true);
            d->chkExcept->setChecked(true);
            editList(b, typed, ok);
            QListWidget *box = b->parentWidget()->findChild<QListWidget *>();
            QCOMPARE(shownItems(box), expected);
            d->close();
        });
        QCOMPARE(s.f->prompts.texts(Kind::Confirm),
                 QStringList(answers.size(),
                             QStringLiteral("An entry contains a space.  The space character is not supported and will "
                                            "be converted to a underscore character (_)")));
        QCOMPARE(s.f->prompts.pendingAnswers(), 0);
    }

    void enableRules()
    {
        Shown s;
        s.open([&](Tdlgoptions *d) {
            struct Rule
            {
                QAbstractButton *on;
                QAbstractButton *off;
                QList<QWidget *> follow;
            };
            const QList<Rule> rules{
                {d->chkExcept, d->chkExcept, {d->Label1, d->lbxexceptions, d->btninvalidentries}},
                {d->rdbrestrictcategories,
                 d->rdballcats,
                 {d->lbxcategories, d->edtcategories, d->lblcats, d->edtAlternativeCategory}},
                {d->rdbmultiemail, d->rdbsingleemail, {d->spnmaxsendcount, d->Label8, d->Label2}},
                {d->chkfailedmail,
                 d->chkfailedmail,
                 {d->chkreaddeliveryreports, d->lbxfailure, d->Label4, d->btndeliveryfailure}},
            };
            for (const Rule &r : rules) {
                for (bool on : {true, false, true}) {
                    if (r.on == r.off)
                        static_cast<QAbstractButton *>(r.on)->setChecked(on);
                    else
                        (on ? r.on : r.off)->click();
                    for (QWidget *w : r.follow)
                        QVERIFY2(w->isEnabled() == on, qPrintable(w->objectName()));
                }
            }
            d->close();
        });
    }

    void unwritableListSaysSoAndStillStoresSettings()
    {
        Shown s;
        // A folder where the first list file belongs cannot be replaced by a file.
        QDir(s.f->env.programDir()).mkdir(QStringLiteral("except.txt"));
        s.open([&](Tdlgoptions *d) {
            d->chkautoscan->setChecked(true);
            QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
        });
        QCOMPARE(s.f->prompts.warnings().size(), 1);
        QVERIFY(s.f->prompts.warnings().constFirst().startsWith(QStringLiteral("An Error was encountered saving")));
        Settings stored;
        RuleLists lists;
        s.stored(stored, lists);
        QVERIFY(stored.AutoScan);
    }
};

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
