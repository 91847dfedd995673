#include "StoreTestUtil.h"
#include "store/ErrorLine.h"
#include "store/ListWorkspace.h"
#include "testlib/TestEnv.h"

#include <QSet>
#include <QTest>
#include <QThread>

#include <limits>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

QVector<Row> parseRows(const QStringList &lines)
{
    QVector<Row> rows;
    for (const QString &s : lines) {
        const QStringList f = s.split(u'|');
        rows << Row{f.value(0), f.value(1), f.value(2).toInt(), f.value(3)};
    }
    return rows;
}

} // namespace

class TestEntryRules : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    QString m_path;
    std::unique_ptr<ListWorkspace> m_work;

    // Flags: M multiple categories, R restricted categories, U update comments,
    // X address checking off.
    void configure(const QString &flags)
    {
        m_work->settings = Settings();
        m_work->settings.Except = !flags.contains(u'X');
        m_work->settings.defaultcategory = u"Default"_s;
        m_work->settings.AlternativeCategory = u"Other"_s;
        m_work->settings.MultipleCategorySupport = flags.contains(u'M');
        m_work->settings.RestrictCategories = flags.contains(u'R');
        m_work->settings.UpdateCommentsWhenEntryExists = flags.contains(u'U');
        m_work->lists = RuleLists();
        m_work->lists.cats.setItems({u"news"_s, u"Sport"_s});
        m_work->lists.never.setItems({u"blocked@example.com"_s});
    }

    void fill(const QStringList &rows)
    {
        RawDb raw(m_path);
        QVERIFY(raw.insert(parseRows(rows)));
    }

    QStringList stored()
    {
        RawDb raw(m_path);
        return raw.rows();
    }

    // A storage failure on demand: the engine refuses the statement.
    void refuse(const char *operation, const char *when = "1")
    {
        RawDb raw(m_path);
        const QByteArray sql = QByteArray("CREATE TRIGGER refuse_") + operation + " BEFORE " + operation
                               + " ON mailist WHEN " + when + " BEGIN SELECT RAISE(ABORT, 'refused'); END";
        QCOMPARE(raw.exec(sql), SQLITE_OK);
    }

private Q_SLOTS:
    void init()
    {
        m_path = newTableFile(m_env.root());
        m_work = std::make_unique<ListWorkspace>(QStringList());
        m_work->openList(m_path);
        configure(QString());
    }

    void cleanup() { m_work.reset(); }

    void insertentry_data()
    {
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<bool>("add");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("log");
        QTest::addColumn<QStringList>("errors");
        QTest::addColumn<QStringList>("after");

        const QString a = u"Ann@Example.com"_s;
        const QStringList none;

        QTest::newRow("add new") << u""_s << none << true << a << u"news"_s
                                 << u"ADD Ann@Example.com news [c] -> Entered Successfully"_s << none
                                 << QStringList{u"Ann@Example.com|news|0|c"_s};
        QTest::newRow("add, empty category is the default")
            << u""_s << none << true << a << u""_s << u"ADD Ann@Example.com Default [c] -> Entered Successfully"_s
            << none << QStringList{u"Ann@Example.com|Default|0|c"_s};
        QTest::newRow("add, ALL is a category when adding")
            << u""_s << none << true << a << u"ALL"_s << u"ADD Ann@Example.com ALL [c] -> Entered Successfully"_s
            << none << QStringList{u"Ann@Example.com|ALL|0|c"_s};

        // Restricted categories.
        QTest::newRow("restricted, unlisted goes to the alternative")
            << u"R"_s << none << true << a << u"misc"_s << u"ADD Ann@Example.com Other [c] -> Entered Successfully"_s
            << none << QStringList{u"Ann@Example.com|Other|0|c"_s};
        QTest::newRow("restricted, listed in other case is kept as given")
            << u"R"_s << none << true << a << u"SPORT"_s << u"ADD Ann@Example.com SPORT [c] -> Entered Successfully"_s
            << none << QStringList{u"Ann@Example.com|SPORT|0|c"_s};
        QTest::newRow("restricted, unlisted default is kept")
            << u"R"_s << none << true << a << u"dEFAULT"_s
            << u"ADD Ann@Example.com dEFAULT [c] -> Entered Successfully"_s << none
            << QStringList{u"Ann@Example.com|dEFAULT|0|c"_s};
        QTest::newRow("restricted, empty gives the unlisted default")
            << u"R"_s << none << true << a << u""_s << u"ADD Ann@Example.com Default [c] -> Entered Successfully"_s
            << none << QStringList{u"Ann@Example.com|Default|0|c"_s};
        QTest::newRow("restricted, ALL when adding is unlisted")
            << u"R"_s << none << true << a << u"ALL"_s << u"ADD Ann@Example.com Other [c] -> Entered Successfully"_s
            << none << QStringList{u"Ann@Example.com|Other|0|c"_s};
        QTest::newRow("unrestricted, unlisted is kept")
            << u""_s << none << true << a << u"misc"_s << u"ADD Ann@Example.com misc [c] -> Entered Successfully"_s
            << none << QStringList{u"Ann@Example.com|misc|0|c"_s};

        // Existing entries.
        const QStringList annNews{u"ann@example.COM|news|2|old"_s};
        QTest::newRow("exists in other case, comment updated")
            << u"U"_s << annNews << true << a << u"sport"_s
            << u"ADD Ann@Example.com sport [c] -> Entry already exists!"_s << none
            << QStringList{u"ann@example.COM|news|2|c"_s};
        QTest::newRow("exists, comment kept")
            << u""_s << annNews << true << a << u"news"_s << u"ADD Ann@Example.com news [c] -> Entry already exists!"_s
            << none << annNews;
        QTest::newRow("multiple, second category is a new entry")
            << u"MU"_s << annNews << true << a << u"sport"_s
            << u"ADD Ann@Example.com sport [c] -> Entered Successfully"_s << none
            << QStringList{u"ann@example.COM|news|2|old"_s, u"Ann@Example.com|sport|0|c"_s};
        QTest::newRow("multiple, same category in other case exists")
            << u"MU"_s << annNews << true << a << u"NEWS"_s
            << u"ADD Ann@Example.com NEWS [c] -> Entry already exists!"_s << none
            << QStringList{u"ann@example.COM|news|2|c"_s};
        QTest::newRow("multiple, updates the entry of that category")
            << u"MU"_s << QStringList{u"ann@example.com|news|0|n"_s, u"ann@example.com|sport|0|s"_s} << true << a
            << u"sport"_s << u"ADD Ann@Example.com sport [c] -> Entry already exists!"_s << none
            << QStringList{u"ann@example.com|news|0|n"_s, u"ann@example.com|sport|0|c"_s};
        QTest::newRow("multiple, restricted: looked up under the alternative")
            << u"MR"_s << QStringList{u"ann@example.com|Other|0|o"_s} << true << a << u"misc"_s
            << u"ADD Ann@Example.com Other [c] -> Entry already exists!"_s << none
            << QStringList{u"ann@example.com|Other|0|o"_s};

        // Validity and the blocked list apply to new entries only.
        QTest::newRow("invalid") << u""_s << none << true << u"Bad@x.c"_s << u"news"_s
                                 << u"ADD Bad@x.c news [c] -> Not Added: Invalid E-mail Address!"_s
                                 << QStringList{u"ADD Bad@x.c news -> Not Added: Invalid E-mail Address!"_s} << none;
        QTest::newRow("invalid, error line has the resolved category")
            << u"R"_s << none << true << u"Bad@x.c"_s << u"misc"_s
            << u"ADD Bad@x.c Other [c] -> Not Added: Invalid E-mail Address!"_s
            << QStringList{u"ADD Bad@x.c Other -> Not Added: Invalid E-mail Address!"_s} << none;
        QTest::newRow("invalid but already there")
            << u""_s << QStringList{u"bad@x.c|news|0|old"_s} << true << u"BAD@x.c"_s << u"news"_s
            << u"ADD BAD@x.c news [c] -> Entry already exists!"_s << none << QStringList{u"bad@x.c|news|0|old"_s};
        // No one before the at: never an entry, whatever the checking.
        for (const QString &flags : {u""_s, u"X"_s}) {
            for (const QString &address : {u"@iana.org"_s, u" @iana.org"_s}) {
                QTest::addRow("no one before the at in '%s', flags '%s'", qPrintable(address), qPrintable(flags))
                    << flags << none << true << address << u"news"_s
                    << u"ADD %1 news [c] -> Not Added: Invalid E-mail Address!"_s.arg(address)
                    << QStringList{u"ADD %1 news -> Not Added: Invalid E-mail Address!"_s.arg(address)} << none;
            }
        }
        QTest::newRow("checking off takes an address without an at")
            << u"X"_s << none << true << u"nobody"_s << u"news"_s << u"ADD nobody news [c] -> Entered Successfully"_s
            << none << QStringList{u"nobody|news|0|c"_s};
        QTest::newRow("blocked in other case")
            << u""_s << none << true << u"Blocked@Example.COM"_s << u"news"_s
            << u"ADD Blocked@Example.COM news [c] -> Not Added: E-mail Address disallowed by rule!"_s << none << none;
        QTest::newRow("containing a blocked address is not blocked")
            << u""_s << none << true << u"notblocked@example.com"_s << u"news"_s
            << u"ADD notblocked@example.com news [c] -> Entered Successfully"_s << none
            << QStringList{u"notblocked@example.com|news|0|c"_s};
        QTest::newRow("blocked but already there")
            << u""_s << QStringList{u"blocked@example.com|news|0|old"_s} << true << u"blocked@example.com"_s << u"x"_s
            << u"ADD blocked@example.com x [c] -> Entry already exists!"_s << none
            << QStringList{u"blocked@example.com|news|0|old"_s};
        QTest::newRow("address kept in its case") << u""_s << none << true << u"AnnB@Example.com"_s << u"news"_s
                                                  << u"ADD AnnB@Example.com news [c] -> Entered Successfully"_s << none
                                                  << QStringList{u"AnnB@Example.com|news|0|c"_s};

        // Removal.
        const QStringList three{u"ann@example.com|news|0|"_s, u"ANN@example.com|sport|0|"_s,
                                u"ann@example.com|misc|0|"_s, u"bob@example.com|news|0|"_s};
        const QStringList bobOnly{u"bob@example.com|news|0|"_s};
        for (const QString &flags : {u""_s, u"M"_s, u"MR"_s}) {
            for (const QString &all : {u""_s, u"ALL"_s, u"all"_s, u"aLl"_s}) {
                QTest::newRow(qPrintable(u"remove everywhere, flags '%1', category '%2'"_s.arg(flags, all)))
                    << flags << three << false << a << all
                    << u"REMOVE Ann@Example.com  [c] -> Entry successfully deleted!"_s << none << bobOnly;
            }
        }
        QTest::newRow("remove naming a category, single category mode")
            << u""_s << three << false << a << u"sport"_s
            << u"REMOVE Ann@Example.com sport [c] -> Entry successfully deleted!"_s << none << bobOnly;
        QTest::newRow("remove naming a category, multiple mode")
            << u"M"_s << three << false << a << u"SPORT"_s
            << u"REMOVE Ann@Example.com SPORT [c] -> Entry successfully deleted!"_s << none
            << QStringList{u"ann@example.com|news|0|"_s, u"ann@example.com|misc|0|"_s, u"bob@example.com|news|0|"_s};
        QTest::newRow("remove unlisted category, restricted multiple mode")
            << u"MR"_s << QStringList{u"ann@example.com|misc|0|"_s, u"ann@example.com|Other|0|"_s} << false << a
            << u"misc"_s << u"REMOVE Ann@Example.com Other [c] -> Entry successfully deleted!"_s << none
            << QStringList{u"ann@example.com|misc|0|"_s};
        QTest::newRow("remove in multiple mode, category not there")
            << u"M"_s << three << false << a << u"travel"_s
            << u"REMOVE Ann@Example.com travel [c] -> E-mail address not found!"_s << none << three;
        QTest::newRow("remove not found")
            << u""_s << bobOnly << false << a << u"news"_s
            << u"REMOVE Ann@Example.com news [c] -> E-mail address not found!"_s << none << bobOnly;
        QTest::newRow("remove ignores validity and the blocked list")
            << u"U"_s << QStringList{u"bad@x.c|news|0|"_s, u"blocked@example.com|news|0|"_s} << false
            << u"blocked@example.com"_s << u""_s << u"REMOVE blocked@example.com  [c] -> Entry successfully deleted!"_s
            << none << QStringList{u"bad@x.c|news|0|"_s};
        QTest::newRow("remove with whole-value match only")
            << u""_s << QStringList{u"xann@example.com|news|0|"_s, u"ann@example.co|news|0|"_s} << false << a << u""_s
            << u"REMOVE Ann@Example.com  [c] -> E-mail address not found!"_s << none
            << QStringList{u"xann@example.com|news|0|"_s, u"ann@example.co|news|0|"_s};
    }

    void insertentry()
    {
        QFETCH(QString, flags);
        QFETCH(QStringList, before);
        QFETCH(bool, add);
        QFETCH(QString, address);
        QFETCH(QString, category);
        QFETCH(QString, log);
        QFETCH(QStringList, errors);
        QFETCH(QStringList, after);

        configure(flags);
        fill(before);
        m_work->rules.insertentry(add, address, category, u"c"_s);
        QCOMPARE(m_work->log.lines(), QStringList{log});
        QCOMPARE(m_work->errors.lines(), errors);
        QCOMPARE(stored(), after);
    }

    void settingsAreReadOnEveryCall()
    {
        configure(QString());
        m_work->rules.insertentry(true, u"ann@example.com"_s, u"news"_s, u"1"_s);
        m_work->settings.MultipleCategorySupport = true;
        m_work->rules.insertentry(true, u"ann@example.com"_s, u"sport"_s, u"2"_s);
        m_work->lists.never.add(u"bob@example.com"_s);
        m_work->rules.insertentry(true, u"bob@example.com"_s, u"news"_s, u"3"_s);
        QCOMPARE(m_work->log.last(),
                 u"ADD bob@example.com news [3] -> Not Added: E-mail Address disallowed by rule!"_s);
        QCOMPARE(stored(), QStringList({u"ann@example.com|news|0|1"_s, u"ann@example.com|sport|0|2"_s}));
    }

    // Stored cut to 80 characters, so looked up cut too: no second entry.
    void addressLongerThanTheField()
    {
        configure(u"U"_s);
        const QString longAddress = QString(80, u'a') + u"@example.com"_s;
        const QString category = QString(85, u'c');
        m_work->rules.insertentry(true, longAddress, category, u"1"_s);
        m_work->rules.insertentry(true, longAddress.toUpper(), category, u"2"_s);
        m_work->settings.MultipleCategorySupport = true;
        m_work->rules.insertentry(true, longAddress, category, u"3"_s);
        QCOMPARE(stored(), QStringList{QString(80, u'a') + u'|' + QString(80, u'c') + u"|0|3"_s});
        m_work->rules.processbounce(longAddress);
        m_work->rules.insertentry(false, longAddress, category, QString());
        QCOMPARE(m_work->log.lines().mid(1),
                 QStringList({u"ADD %1 %2 [2] -> Entry already exists!"_s.arg(longAddress.toUpper(), category),
                              u"ADD %1 %2 [3] -> Entry already exists!"_s.arg(longAddress, category),
                              u"Update Undeliverable %1 -> Bounce count incremented!"_s.arg(longAddress),
                              u"REMOVE %1 %2 [] -> Entry successfully deleted!"_s.arg(longAddress, category)}));
        QVERIFY(stored().isEmpty());
    }

    void storageFailures_data()
    {
        QTest::addColumn<QByteArray>("operation");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<bool>("add");
        QTest::addColumn<QString>("log");
        QTest::addColumn<QStringList>("errors");
        QTest::addColumn<QStringList>("after");

        const QStringList two{u"ann@example.com|news|0|old"_s, u"ann@example.com|sport|0|old"_s};
        QTest::newRow("insert fails") << QByteArray("INSERT") << u"M"_s << true
                                      << u"ADD Ann@example.com misc [c] -> Error inserting into database!"_s
                                      << QStringList{u"ADD Ann@example.com misc -> Error inserting into database!"_s}
                                      << two;
        QTest::newRow("comment update fails")
            << QByteArray("UPDATE") << u"U"_s << true << u"ADD Ann@example.com misc [c] -> Entry already exists!"_s
            << QStringList{} << two;
        // The first entry goes, the second refuses: that ends the call.
        QTest::newRow("second deletion fails")
            << QByteArray("DELETE") << u""_s << false
            << u"REMOVE Ann@example.com misc [c] -> Entry could not be deleted!"_s
            << QStringList{u"REMOVE Ann@example.com misc -> Entry could not be deleted!"_s}
            << QStringList{u"ann@example.com|sport|0|old"_s};
    }

    void storageFailures()
    {
        QFETCH(QByteArray, operation);
        QFETCH(QString, flags);
        QFETCH(bool, add);
        QFETCH(QString, log);
        QFETCH(QStringList, errors);
        QFETCH(QStringList, after);

        configure(flags);
        fill({u"ann@example.com|news|0|old"_s, u"ann@example.com|sport|0|old"_s});
        refuse(operation.constData(), operation == "DELETE" ? "OLD.Category = 'sport'" : "1");
        m_work->rules.insertentry(add, u"Ann@example.com"_s, u"misc"_s, u"c"_s);
        QCOMPARE(m_work->log.lines(), QStringList{log});
        QCOMPARE(m_work->errors.lines(), errors);
        QCOMPARE(stored(), after);
    }

    void closedTable()
    {
        m_work->table().close();
        QVERIFY_THROWS_EXCEPTION(TableError, m_work->rules.insertentry(true, u"ann@example.com"_s, QString(), u"c"_s));
        QVERIFY_THROWS_EXCEPTION(TableError, m_work->rules.insertentry(false, u"ann@example.com"_s, u"All"_s, u"d"_s));
        QCOMPARE(m_work->log.lines(),
                 QStringList({u"ADD ann@example.com Default [c] -> "_s, u"REMOVE ann@example.com  [d] -> "_s}));
        QVERIFY_THROWS_EXCEPTION(TableError, m_work->rules.processbounce(u"ann@example.com"_s));
        QCOMPARE(m_work->log.size(), 2);
        QVERIFY(m_work->errors.lines().isEmpty());
    }

    void processbounce_data()
    {
        QTest::addColumn<int>("bounceMax");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QStringList>("after");

        const int top = std::numeric_limits<qint32>::max();
        QTest::newRow("8 goes to 9 under 10")
            << 10 << QStringList{u"ann@example.com|news|8|c"_s} << u"ann@example.com"_s
            << u"Bounce count incremented!"_s << QStringList{u"ann@example.com|news|9|c"_s};
        QTest::newRow("9 reaches 10 and goes")
            << 10 << QStringList{u"ann@example.com|news|9|c"_s} << u"ann@example.com"_s
            << u"Entry successfully deleted!"_s << QStringList{};
        QTest::newRow("above the limit goes")
            << 10 << QStringList{u"ann@example.com|news|15|c"_s} << u"ann@example.com"_s
            << u"Entry successfully deleted!"_s << QStringList{};
        QTest::newRow("limit 1, first failure")
            << 1 << QStringList{u"ann@example.com|news|0|c"_s} << u"ann@example.com"_s
            << u"Entry successfully deleted!"_s << QStringList{};
        QTest::newRow("limit 0 never removes")
            << 0 << QStringList{u"ann@example.com|news|999|c"_s} << u"ann@example.com"_s
            << u"Bounce count incremented!"_s << QStringList{u"ann@example.com|news|1000|c"_s};
        QTest::newRow("limit 0 at the top of the range")
            << 0 << QStringList{u"ann@example.com|news|%1|c"_s.arg(top)} << u"ann@example.com"_s
            << u"Bounce count could not be incremented!"_s << QStringList{u"ann@example.com|news|%1|c"_s.arg(top)};
        QTest::newRow("other case") << 10 << QStringList{u"Ann@Example.COM|news|0|c"_s} << u"aNN@example.com"_s
                                    << u"Bounce count incremented!"_s << QStringList{u"Ann@Example.COM|news|1|c"_s};
        QTest::newRow("several categories: first only")
            << 10
            << QStringList{u"bob@example.com|news|0|c"_s, u"ann@example.com|sport|3|c"_s, u"ann@example.com|news|5|c"_s}
            << u"ann@example.com"_s << u"Bounce count incremented!"_s
            << QStringList{u"bob@example.com|news|0|c"_s, u"ann@example.com|sport|4|c"_s,
                           u"ann@example.com|news|5|c"_s};
        QTest::newRow("several categories: first removed only")
            << 4 << QStringList{u"ann@example.com|sport|3|c"_s, u"ann@example.com|news|0|c"_s} << u"ann@example.com"_s
            << u"Entry successfully deleted!"_s << QStringList{u"ann@example.com|news|0|c"_s};
        QTest::newRow("not found") << 10 << QStringList{u"ann@example.com|news|0|c"_s} << u"ann@example.co"_s
                                   << u"E-mail address not found!"_s << QStringList{u"ann@example.com|news|0|c"_s};
    }

    void processbounce()
    {
        QFETCH(int, bounceMax);
        QFETCH(QStringList, before);
        QFETCH(QString, address);
        QFETCH(QString, result);
        QFETCH(QStringList, after);

        m_work->settings.BounceMax = bounceMax;
        fill(before);
        m_work->rules.processbounce(address);
        QCOMPARE(m_work->log.lines(), QStringList{u"Update Undeliverable "_s + address + u" -> "_s + result});
        QVERIFY(m_work->errors.lines().isEmpty());
        QCOMPARE(stored(), after);
    }

    // What reprocessing reads back from a line, whatever the address held.
    void errorLinesReadBack_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("add");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("reason");
        const QString invalid = u"Not Added: Invalid E-mail Address!"_s;
        QTest::newRow("plain") << u"ADD a@example.org news -> %1"_s.arg(invalid) << true << u"a@example.org"_s
                               << u"news"_s << invalid;
        QTest::newRow("display name and brackets") << u"ADD \"Quoted Q\" <q@example.com> news -> %1"_s.arg(invalid)
                                                   << true << u"\"Quoted Q\" <q@example.com>"_s << u"news"_s << invalid;
        QTest::newRow("at sign in the display name") << u"ADD \"a@b c\" <q@example.com> my news"_s << true
                                                     << u"\"a@b c\" <q@example.com>"_s << u"my news"_s << QString();
        QTest::newRow("quoted, no at sign")
            << u"add \"Quoted Q\" sports"_s << true << u"\"Quoted Q\""_s << u"sports"_s << QString();
        QTest::newRow("removal from all categories")
            << u"REMOVE b@example.org  -> Entry could not be deleted!"_s << false << u"b@example.org"_s << QString()
            << u"Entry could not be deleted!"_s;
        QTest::newRow("bounce") << bounceErrorLine(u"c@example.org"_s, u"Entry could not be deleted!"_s) << false
                                << u"c@example.org"_s << QString() << u"Entry could not be deleted!"_s;
        QTest::newRow("written before reasons")
            << u"REMOVE d@example.org News"_s << false << u"d@example.org"_s << u"News"_s << QString();
        QTest::newRow("only a word") << u"ADD"_s << true << QString() << QString() << QString();
    }

    void errorLinesReadBack()
    {
        QFETCH(QString, line);
        const ErrorRequest request = parseErrorLine(line);
        QTEST(request.add, "add");
        QTEST(request.address, "address");
        QTEST(request.category, "category");
        QTEST(request.reason, "reason");
    }

    void bounceStorageFailures()
    {
        fill({u"ann@example.com|news|9|c"_s, u"bob@example.com|news|3|c"_s});
        refuse("DELETE");
        refuse("UPDATE");
        m_work->rules.processbounce(u"Ann@example.com"_s);
        m_work->rules.processbounce(u"bob@example.com"_s);
        QCOMPARE(m_work->log.lines(),
                 QStringList({u"Update Undeliverable Ann@example.com -> Entry could not be deleted!"_s,
                              u"Update Undeliverable bob@example.com -> Bounce count could not be incremented!"_s}));
        QCOMPARE(m_work->errors.lines(), QStringList{u"REMOVE Ann@example.com -> Entry could not be deleted!"_s});
        QCOMPARE(stored(), QStringList({u"ann@example.com|news|9|c"_s, u"bob@example.com|news|3|c"_s}));
    }

    // What a call reports back: a change, a rule's answer, or a change the
    // list file would not take (the folder check keeps that message).
    void outcomes_data()
    {
        QTest::addColumn<QString>("call"); // +address, -address or !address (bounce)
        QTest::addColumn<QByteArray>("refused");
        QTest::addColumn<int>("outcome");
        const int changed = int(EntryOutcome::Changed), unchanged = int(EntryOutcome::Unchanged),
                  refused = int(EntryOutcome::Refused), notStored = int(EntryOutcome::NotStored);
        QTest::newRow("entered") << u"+new@example.com"_s << QByteArray() << changed;
        QTest::newRow("already there") << u"+ann@example.com"_s << QByteArray() << unchanged;
        QTest::newRow("already there, comment refused") << u"+ann@example.com"_s << QByteArray("UPDATE") << unchanged;
        QTest::newRow("invalid") << u"+no..dots@example.com"_s << QByteArray() << refused;
        QTest::newRow("blocked") << u"+blocked@example.com"_s << QByteArray() << refused;
        QTest::newRow("insert refused") << u"+new@example.com"_s << QByteArray("INSERT") << notStored;
        QTest::newRow("removed") << u"-ann@example.com"_s << QByteArray() << changed;
        QTest::newRow("not found") << u"-nobody@example.com"_s << QByteArray() << unchanged;
        QTest::newRow("delete refused") << u"-ann@example.com"_s << QByteArray("DELETE") << notStored;
        QTest::newRow("bounce counted") << u"!ann@example.com"_s << QByteArray() << changed;
        QTest::newRow("bounce removes") << u"!bob@example.com"_s << QByteArray() << changed;
        QTest::newRow("bounce, not found") << u"!nobody@example.com"_s << QByteArray() << unchanged;
        QTest::newRow("bounce refused") << u"!ann@example.com"_s << QByteArray("UPDATE") << notStored;
        QTest::newRow("bounce removal refused") << u"!bob@example.com"_s << QByteArray("DELETE") << notStored;
    }

    void outcomes()
    {
        QFETCH(QString, call);
        QFETCH(QByteArray, refused);
        QFETCH(int, outcome);
        configure(u"U"_s);
        m_work->settings.BounceMax = 10;
        fill({u"ann@example.com|news|0|c"_s, u"bob@example.com|news|9|c"_s});
        if (!refused.isEmpty())
            refuse(refused.constData());
        const QString address = call.mid(1);
        EntryOutcome got;
        if (call.startsWith(u'!'))
            got = m_work->rules.processbounce(address);
        else
            got = m_work->rules.insertentry(call.startsWith(u'+'), address, u"news"_s, u"c"_s);
        QCOMPARE(int(got), outcome);
        if (got == EntryOutcome::NotStored)
            QCOMPARE(m_work->rules.lastStorageFailure().message(), u"refused"_s);
    }

    // Inside an outer transaction each call is a part of it: the outer one
    // stores them together or not at all.
    void callsInsideAnOuterTransaction()
    {
        fill({u"ann@example.com|news|0|c"_s});
        {
            MLTable::Transaction outer(m_work->table());
            QCOMPARE(m_work->rules.insertentry(true, u"new@example.com"_s, u"news"_s, u"c"_s), EntryOutcome::Changed);
            QCOMPARE(m_work->rules.processbounce(u"ann@example.com"_s), EntryOutcome::Changed);
            // Not committed: both undone.
        }
        QCOMPARE(stored(), QStringList{u"ann@example.com|news|0|c"_s});
        {
            MLTable::Transaction outer(m_work->table());
            m_work->rules.insertentry(true, u"new@example.com"_s, u"news"_s, u"c"_s);
            m_work->rules.processbounce(u"ann@example.com"_s);
            outer.commit();
        }
        QCOMPARE(stored(), QStringList({u"ann@example.com|news|1|c"_s, u"new@example.com|news|0|c"_s}));
    }

    // The log of a folder-check message is held back until its change is
    // stored; undone, only the report of the failure to store stands.
    void failureReportsOutliveAnUndoneGroup()
    {
        fill({u"ann@example.com|news|0|c"_s});
        refuse("INSERT");
        m_work->log.beginGroup("tag");
        m_work->errors.beginGroup("tag");
        m_work->rules.processbounce(u"ann@example.com"_s);
        QCOMPARE(m_work->rules.insertentry(true, u"new@example.com"_s, u"news"_s, u"c"_s), EntryOutcome::NotStored);
        QVERIFY(m_work->log.lines().isEmpty());
        m_work->log.endGroup(false);
        m_work->errors.endGroup(false);
        QCOMPARE(m_work->log.lines(), QStringList{u"ADD new@example.com news [c] -> Error inserting into database!"_s});
        QVERIFY(m_work->errors.lines().isEmpty());
    }

    // Two copies of the program on one file: the look-up and the insert are
    // one unit, so both adding the same addresses never gives a duplicate.
    void twoConnectionsAddTheSameAddresses()
    {
        constexpr int count = 150;
        struct Worker
        {
            QString path;
            QStringList entered;
            QString failure;
            void run()
            {
                ListWorkspace work{QStringList()};
                work.settings.MultipleCategorySupport = false;
                try {
                    work.openList(path);
                    for (int i = 0; i < count; ++i) {
                        const QString address = u"user%1@example.com"_s.arg(i);
                        work.rules.insertentry(true, address, i % 2 ? u"news"_s : u"sport"_s, QString());
                        if (work.log.last().endsWith(u"Entered Successfully"_s))
                            entered << address;
                    }
                } catch (const TableError &e) {
                    failure = e.message();
                }
            }
        };
        Worker a{m_path, {}, {}};
        Worker b{m_path, {}, {}};
        std::unique_ptr<QThread> ta(QThread::create([&] { a.run(); }));
        std::unique_ptr<QThread> tb(QThread::create([&] { b.run(); }));
        ta->start();
        tb->start();
        QVERIFY(ta->wait(60000));
        QVERIFY(tb->wait(60000));
        QCOMPARE(a.failure, QString());
        QCOMPARE(b.failure, QString());

        RawDb raw(m_path);
        QCOMPARE(raw.scalar("SELECT count(*) FROM mailist"), qint64(count));
        QCOMPARE(raw.scalar("SELECT count(DISTINCT Item) FROM mailist"), qint64(count));
        QCOMPARE(a.entered.size() + b.entered.size(), count);
    }
};

QTEST_GUILESS_MAIN(TestEntryRules)
#include "tst_entryrules.moc"
