// The filter, count, order and display hold a window shows, over a real
// list file and without a QApplication.
#include "testlib/TestEnv.h"

#include "commands/CategoryView.h"
#include "store/MLSchema.h"
#include "store/MLTable.h"

#include <QTest>

class TestCategoryView : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    QString m_list;
    std::unique_ptr<MLTable> m_table;

private Q_SLOTS:
    void init()
    {
        m_list = m_env.programDir() + MLTable::defaultFileName();
        QFile::remove(m_list);
        createMailingListFile(m_list);
        m_table = std::make_unique<MLTable>();
        m_table->setFilePath(m_list);
        m_table->open();
        m_table->append(QStringLiteral("a@example.org"), QStringLiteral("News"), 3, QString());
        m_table->append(QStringLiteral("b@example.org"), QStringLiteral("newsletter"), 1, QString());
        m_table->append(QStringLiteral("c@example.org"), QStringLiteral("sports"), 2, QString());
    }

    void cleanup() { m_table.reset(); }

    void filterAndCount_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<bool>("limited");
        QTest::addColumn<QString>("count");
        QTest::newRow("all") << QStringLiteral("news") << false << QStringLiteral("3 Records");
        QTest::newRow("prefix in any case") << QStringLiteral("NEWS") << true << QStringLiteral("2 Records");
        QTest::newRow("limited without a category") << QString() << true << QStringLiteral("3 Records");
        QTest::newRow("nothing matches") << QStringLiteral("x") << true << QStringLiteral("0 Records");
        QTest::newRow("quote and wildcard are plain") << QStringLiteral("n%'") << true << QStringLiteral("0 Records");
    }

    void filterAndCount()
    {
        QFETCH(QString, category);
        QFETCH(bool, limited);
        QFETCH(QString, count);
        CategoryView view(*m_table);
        view.setFilter(category, limited);
        QCOMPARE(view.countText(), count);
    }

    void orderingAndAClosedTable()
    {
        CategoryView view(*m_table);
        view.setOrdering(2);
        QCOMPARE(m_table->indexName(), QStringLiteral("ByBounce"));
        view.setOrdering(7); // no such choice: the order stays
        QCOMPARE(m_table->indexName(), QStringLiteral("ByBounce"));
        m_table->close();
        QCOMPARE(view.count(), 0);
    }

    // The send window works on the main window's table and must hand it back
    // as it found it; a hold shows the whole list until released.
    void savedFilterAndHold()
    {
        CategoryView main(*m_table);
        main.setFilter(QStringLiteral("sports"), true);
        {
            CategoryView::SavedFilter saved(*m_table);
            CategoryView send(*m_table);
            send.setFilter(QStringLiteral("news"), true);
            QCOMPARE(send.count(), 2);
        }
        QCOMPARE(main.count(), 1);

        main.hold();
        QVERIFY(m_table->controlsDisabled());
        QCOMPARE(m_table->recordCount(), 3);
        main.release();
        QVERIFY(!m_table->controlsDisabled());
        QCOMPARE(main.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestCategoryView)
#include "tst_categoryview.moc"
