// The unique recipient list of a mailing, read from a real table file.
#include "testlib/SlowCase.h"
#include "testlib/TestEnv.h"

#include "store/MLSchema.h"
#include "store/MLTable.h"
#include "store/UniqueRecipients.h"

#include <QCollator>
#include <QLocale>
#include <QScopeGuard>
#include <QTest>

#include <numeric>

namespace {

// What a sort key per address gives, to hold the list against.
QStringList bySortKeys(const QStringList &addresses)
{
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const bool fold = collator.locale().language() == QLocale::C;
    std::vector<QCollatorSortKey> keys;
    for (const QString &a : addresses)
        keys.push_back(collator.sortKey(fold ? a.toCaseFolded() : a));
    std::vector<int> order(keys.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; });
    QStringList out;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i == 0 || keys[size_t(order[i - 1])].compare(keys[size_t(order[i])]) != 0)
            out.append(addresses.at(order[i]));
    }
    return out;
}

} // namespace

class TestUniqueRecipients : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void uniqueList_data()
    {
        QTest::addColumn<QStringList>("entries"); // item|category, in insertion order
        QTest::addColumn<QString>("index");
        QTest::addColumn<QString>("category");
        QTest::addColumn<QStringList>("expected");
        const auto u = [](const char *s) { return QString::fromUtf8(s); };

        QTest::newRow("letter case: first met kept, alphabetical")
            << QStringList{u("Bob@x.org|a"), u("carol@x.org|a"), u("bob@X.ORG|a"), u("alice@x.org|a")} << QString()
            << QString() << QStringList{u("alice@x.org"), u("Bob@x.org"), u("carol@x.org")};
        QTest::newRow("first met follows the table's order")
            << QStringList{u("bob@x.org|b"), u("BOB@x.org|a")} << u("ByCategory") << QString()
            << QStringList{u("BOB@x.org")};
        QTest::newRow("blanks and control characters stripped")
            << QStringList{u(" a@x.org\t|a"), u("a@x.org\x01|a"),
                           u("\xc2\xa0"
                             "a@x.org\r\n|a"),
                           u("b@x.org\x7f|a")}
            << QString() << QString() << QStringList{u("a@x.org"), u("b@x.org")};
        QTest::newRow("blank entries give one empty item")
            << QStringList{u("|a"), u("  |a"), u("z@x.org|a")} << QString() << QString()
            << QStringList{QString(), u("z@x.org")};
        QTest::newRow("locale order, accents not letter case")
            << QStringList{u("f@x.org|a"), u("\xc3\xa9mile@x.org|a"), u("emile@x.org|a"), u("\xc3\x89MILE@x.org|a")}
            << QString() << QString() << QStringList{u("emile@x.org"), u("\xc3\xa9mile@x.org"), u("f@x.org")};
        QTest::newRow("category prefix, a to z folded")
            << QStringList{u("n1@x.org|News"), u("n2@x.org|newsletter"), u("s@x.org|sports"), u("o@x.org|anews")}
            << QString() << u("NEWS") << QStringList{u("n1@x.org"), u("n2@x.org")};
        QTest::newRow("wildcards in the category are plain")
            << QStringList{u("p@x.org|50%"), u("q@x.org|500"), u("r@x.org|5_x")} << QString() << u("50%")
            << QStringList{u("p@x.org")};
        QTest::newRow("no entry under the category")
            << QStringList{u("a@x.org|news")} << QString() << u("arts") << QStringList{};
    }

    // Long enough that the list is sorted in pieces and merged; the equals
    // of each address lie in other pieces.
    void longListAsSortKeysGiveIt_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("en_US") << QStringLiteral("en_US");
        QTest::newRow("sv_SE, letters after z") << QStringLiteral("sv_SE");
        QTest::newRow("C") << QStringLiteral("C");
    }

    void longListAsSortKeysGiveIt()
    {
        QUILLMAR_SLOW_CASE();
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        auto restore = qScopeGuard([] { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); });
        const QStringList parts
            = QString::fromUtf8("a|B|z|\xc3\xa9|\xc3\x85|\xc3\xb6|V|w|.|-|_|1|\xe2\x80\x8b|\xc3\x9f|ss").split(u'|');
        const int n = 150'000;
        QStringList entries;
        for (int i = 0; i < n; ++i) {
            QString s;
            // The same few texts again and again, in either letter case.
            for (int v = (i * 7919) % 4001; v > 0; v /= int(parts.size()))
                s += parts.at(v % parts.size());
            entries << (i % 3 ? s : s.toUpper());
        }
        entries[n - 1].clear();
        TestEnv env;
        const QString path = env.programDir() + QStringLiteral("mailist.DAT");
        createMailingListFile(path);
        MLTable table;
        table.setFilePath(path);
        table.open();
        MLTable::Transaction t(table);
        for (const QString &e : std::as_const(entries))
            table.append(e, QStringLiteral("a"), 0, QString());
        t.commit();
        QStringList stripped;
        for (const QString &e : std::as_const(entries))
            stripped << strippedAddress(e);
        QCOMPARE(uniqueRecipients(table, QString()), bySortKeys(stripped));
    }

    // Where a broken-off mailing goes on: after the last address placed, in
    // the list's own order, also when that address has left the list.
    void resumeAfterTheLastPlaced_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("lastPlaced");
        QTest::addColumn<QStringList>("expected");
        const auto u = [](const char *s) { return QString::fromUtf8(s); };
        const QString aRing = u("\xc3\xa5@x.org");
        // English sorts å with a; Swedish after z; C by its bytes.
        QTest::newRow("en_US, listed") << u("en_US") << u("b@x.org") << QStringList{u("C@x.org")};
        QTest::newRow("en_US, first") << u("en_US") << aRing << QStringList{u("b@x.org"), u("C@x.org")};
        QTest::newRow("en_US, other letter case") << u("en_US") << u("c@X.ORG") << QStringList{};
        QTest::newRow("en_US, removed since") << u("en_US") << u("bb@x.org") << QStringList{u("C@x.org")};
        for (const char *locale : {"sv_SE", "C"}) {
            QTest::addRow("%s, listed", locale) << u(locale) << u("b@x.org") << QStringList{u("C@x.org"), aRing};
            QTest::addRow("%s, other letter case", locale) << u(locale) << u("c@X.ORG") << QStringList{aRing};
            QTest::addRow("%s, last", locale) << u(locale) << aRing << QStringList{};
            QTest::addRow("%s, removed since", locale)
                << u(locale) << u("bb@x.org") << QStringList{u("C@x.org"), aRing};
        }
    }

    void resumeAfterTheLastPlaced()
    {
        QFETCH(QString, locale);
        QFETCH(QString, lastPlaced);
        QFETCH(QStringList, expected);
        QLocale::setDefault(QLocale(locale));
        auto restore = qScopeGuard([] { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); });
        TestEnv env;
        const QString path = env.programDir() + QStringLiteral("mailist.DAT");
        createMailingListFile(path);
        MLTable table;
        table.setFilePath(path);
        table.open();
        for (const char *item : {"\xc3\xa5@x.org", "C@x.org", "", "b@x.org", "c@X.org"})
            table.append(QString::fromUtf8(item), QStringLiteral("a"), 0, QString());
        const QStringList unique = uniqueRecipients(table, QString());
        QCOMPARE(unique.size(), 4);
        QCOMPARE(recipientsAfter(unique, lastPlaced), expected);
    }

    void uniqueList()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, index);
        QFETCH(QString, category);
        QFETCH(QStringList, expected);
        TestEnv env;
        const QString path = env.programDir() + QStringLiteral("mailist.DAT");
        createMailingListFile(path);
        MLTable table;
        table.setFilePath(path);
        table.open();
        for (const QString &e : entries) {
            const qsizetype bar = e.lastIndexOf(QLatin1Char('|'));
            table.append(e.left(bar), e.mid(bar + 1), 0, QString());
        }
        table.setIndexName(index);
        int reads = 0;
        const QStringList got = uniqueRecipients(table, category, [&](int read, const QString &) {
            QCOMPARE(read, reads);
            ++reads;
        });
        QCOMPARE(got, expected);
        QVERIFY(reads >= expected.size());
    }
};

QTEST_GUILESS_MAIN(TestUniqueRecipients)
#include "tst_uniquerecipients.moc"
