// The options' rules below the window: what OK derives and stores, what
// Cancel reads back, and how each list's editor turns lines into entries.
#include "testlib/ScriptedPrompts.h"
#include "testlib/TestEnv.h"

#include "commands/OptionsEdit.h"
#include "core/RuleList.h"
#include "core/Settings.h"
#include "core/SettingsStore.h"

#include <QTest>

using A = Prompts::Answer;

class TestOptionsEdit : public QObject
{
    Q_OBJECT

    TestEnv m_env;

    struct Edit
    {
        Settings settings;
        RuleLists lists;
        ScriptedPrompts prompts;
        OptionsEdit edit{settings, lists, prompts};
        explicit Edit(const QString &dir) { edit.setProgramDir(dir); }
    };

    void stored(Settings &s, RuleLists &l)
    {
        ScriptedPrompts quiet;
        SettingsStore(m_env.programDir(), quiet).Loadentries(s, l);
    }

private Q_SLOTS:
    void init()
    {
        QDir(m_env.programDir()).removeRecursively();
        QDir().mkpath(m_env.programDir());
        QDir(m_env.configDir()).removeRecursively();
    }

    void applyFillsEmptyTextsAndStores()
    {
        Edit e(m_env.programDir());
        e.lists.cats.setItems({});
        DerivedChoices c;
        c.singleMessage = true;
        c.maxSendCount = 40;
        c.multipleCategories = true;
        c.restrictCategories = true; // with no categories to restrict to
        const DerivedChoices now = e.edit.apply(c);
        QCOMPARE(now.defaultCategory, QStringLiteral("Default"));
        QCOMPARE(now.alternativeCategory, QStringLiteral("Default"));
        QCOMPARE(now.folder, QStringLiteral("VMailingList"));
        QVERIFY(now.singleMessage);
        QVERIFY(!now.restrictCategories);

        Settings s;
        RuleLists l;
        stored(s, l);
        QCOMPARE(s.SendCount, 1);
        QVERIFY(s.MultipleCategorySupport);
        QVERIFY(!s.RestrictCategories);
        QCOMPARE(s.AlternativeCategory, QStringLiteral("Default"));
        QCOMPARE(s.MailingListGroup, QStringLiteral("VMailingList"));
        QVERIFY(e.prompts.calls().isEmpty());
    }

    void applyKeepsTypedValues()
    {
        Edit e(m_env.programDir());
        e.lists.cats.setItems({QStringLiteral("news")});
        DerivedChoices c;
        c.maxSendCount = 25;
        c.restrictCategories = true;
        c.folder = QStringLiteral("Lists");
        c.defaultCategory = QStringLiteral("news");
        const DerivedChoices now = e.edit.apply(c);
        QCOMPARE(now.alternativeCategory, QStringLiteral("news"));
        QVERIFY(now.restrictCategories);
        QCOMPARE(e.settings.SendCount, 25);
        QCOMPARE(e.settings.MailingListGroup, QStringLiteral("Lists"));
    }

    void reloadDropsUnsavedEdits()
    {
        Edit e(m_env.programDir());
        e.settings.AutoScan = false;
        e.lists.never.setItems({QStringLiteral("kept@example.org")});
        e.edit.apply(e.edit.current());
        e.settings.AutoScan = true;
        e.lists.never.add(QStringLiteral("unsaved@example.org"));
        QFile::remove(m_env.programDir() + QStringLiteral("addstr.txt"));
        e.lists.addstr.setItems({QStringLiteral("UNSAVED")});
        e.edit.reload();
        QVERIFY(!e.settings.AutoScan);
        QCOMPARE(e.lists.never.items(), QStringList{QStringLiteral("kept@example.org")});
        // A list without a file is as on a fresh start.
        QCOMPARE(e.lists.addstr.items(), RuleLists().addstr.items());
    }

    void editList_data()
    {
        QTest::addColumn<int>("list");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<A>>("answers");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char *name, int list, const char *typed, QList<A> answers, const char *expected) {
            QTest::newRow(name) << list << QString::fromLatin1(typed) << answers
                                << QString::fromLatin1(expected).split(QLatin1Char('|'));
        };
        row("categories: blanks asked per line, typed order", 0, "Gold Members\nsilver\n\n   \nBronze Club Two\nAlpha",
            {A::Ok, A::Cancel}, "gold_members|silver|alpha");
        row("subscribe synonyms upper case, sorted", 1, "signup\njoin", {}, "JOIN|SIGNUP");
        row("unsubscribe synonyms upper case", 2, "leave me", {}, "LEAVE ME");
        row("exceptions lower case", 3, "XYZ\n.@", {}, ".@|xyz");
        row("blocked lower case, a to z only", 4, "Boss@Example.ORG\nÉMILE@x.org", {}, "boss@example.org|Émile@x.org");
        row("failure phrases keep case", 5, "Bounce Notice\nmail failed", {}, "Bounce Notice|mail failed");
    }

    void editList()
    {
        QFETCH(int, list);
        QFETCH(QString, typed);
        QFETCH(QList<A>, answers);
        QFETCH(QStringList, expected);
        static constexpr RuleList RuleLists::*lists[] = {&RuleLists::cats,   &RuleLists::addstr, &RuleLists::remstr,
                                                         &RuleLists::except, &RuleLists::never,  &RuleLists::failed};
        Edit e(m_env.programDir());
        for (A a : answers)
            e.prompts.queueConfirm(a == A::Ok ? A::Yes : A::No);
        e.edit.editList(lists[list], typed.split(QLatin1Char('\n')));
        QCOMPARE((e.lists.*lists[list]).items(), expected);
        QCOMPARE(e.prompts.texts(ScriptedPrompts::Kind::Confirm),
                 QStringList(answers.size(), QStringLiteral("An entry contains a space.  The space character is not "
                                                            "supported and will be converted to a underscore "
                                                            "character (_)")));
    }
};

QTEST_GUILESS_MAIN(TestOptionsEdit)
#include "tst_optionsedit.moc"
