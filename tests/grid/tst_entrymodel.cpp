// The grid's paging model over a real table: every way of reaching a row
// gives the row the view's order puts there.
#include "testlib/TestEnv.h"

#include "grid/EntryTableModel.h"
#include "store/MLSchema.h"
#include "store/MLTable.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

class TestEntryModel : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    MLTable m_table;
    static constexpr int Rows = 3 * EntryTableModel::PageSize * 4 + 17;

    QStringList items(const EntryTableModel &model, const QList<int> &order) const
    {
        QStringList out(model.rowCount());
        for (int row : order)
            out[row] = model.index(row, EntryTableModel::ItemColumn).data().toString();
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString path = m_env.programDir() + MLTable::defaultFileName();
        createMailingListFile(path);
        m_table.setFilePath(path);
        m_table.open();
        QRandomGenerator rnd(11);
        const QStringList categories{QStringLiteral("news"), QStringLiteral("News"), QStringLiteral("sport"),
                                     QStringLiteral("ab")};
        MLTable::Transaction all(m_table);
        for (int i = 0; i < Rows; ++i) {
            // Repeated addresses and bounce counts, so orderings have ties.
            m_table.append(QStringLiteral("user%1@Example.org").arg(rnd.bounded(Rows / 3)),
                           categories.at(rnd.bounded(4)), int(rnd.bounded(5)), QString::number(i));
        }
        all.commit();
    }

    void rowsAreTheSameInAnyReadingOrder_data()
    {
        QTest::addColumn<QString>("index");
        QTest::addColumn<QString>("filter");
        for (const char *index : {"", "ByItem", "ByCategory", "ByBounce"}) {
            QTest::newRow(index) << QString::fromLatin1(index) << QString();
            QTest::newRow((QByteArray(index) + " news").constData())
                << QString::fromLatin1(index) << QStringLiteral("NE");
        }
    }

    void rowsAreTheSameInAnyReadingOrder()
    {
        QFETCH(QString, index);
        QFETCH(QString, filter);
        m_table.setIndexName(index);
        m_table.setFilterCategory(filter);
        m_table.setFiltered(!filter.isEmpty());
        EntryTableModel model(m_table);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const int n = model.rowCount();
        QCOMPARE(n, m_table.recordCount());

        QList<int> forward(n), backward(n), scattered(n);
        for (int i = 0; i < n; ++i)
            forward[i] = i, backward[i] = n - 1 - i, scattered[i] = i;
        std::shuffle(scattered.begin(), scattered.end(), *QRandomGenerator::global());

        const QStringList byPages = items(model, forward);
        model.refresh();
        QCOMPARE(items(model, backward), byPages);
        model.refresh();
        QCOMPARE(items(model, scattered), byPages);

        // The same rows as one walk of the table's cursor.
        QStringList walked;
        for (m_table.first(); !m_table.eof(); m_table.next())
            walked << m_table.current().Item;
        QCOMPARE(byPages, walked);
    }

    void oneRefreshPerTurnOfTheLoop()
    {
        m_table.setFiltered(false);
        EntryTableModel model(m_table);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        for (int i = 0; i < 20; ++i)
            m_table.append(QStringLiteral("batch%1@example.org").arg(i), QStringLiteral("x"), 0, QString());
        QCOMPARE(resets.count(), 0);
        QTRY_COMPARE(resets.count(), 1);
        QCOMPARE(model.rowCount(), m_table.recordCount());
    }

    void editsThroughTheGridReachTheTable()
    {
        m_table.setIndexName(QString());
        m_table.setFiltered(false);
        EntryTableModel model(m_table);
        const QModelIndex bounces = model.index(0, EntryTableModel::BouncesColumn);
        QVERIFY(!model.setData(bounces, 7)); // not editable until in-line editing is on
        model.setEditable(true);
        QSignalSpy failed(&model, &EntryTableModel::editFailed);
        QVERIFY(!model.setData(bounces, QStringLiteral("seven")));
        QCOMPARE(failed.count(), 1);
        QVERIFY(model.setData(bounces, QStringLiteral(" 7 ")));
        QVERIFY(model.setData(model.index(0, EntryTableModel::CommentsColumn), QString(90, QLatin1Char('c'))));
        QVERIFY(m_table.locateRowid(model.entryAt(0)->rowid));
        QCOMPARE(m_table.current().Bounces, 7);
        QCOMPARE(m_table.current().Comments.size(), MLTable::FieldWidth);
    }
};

QTEST_MAIN(TestEntryModel)
#include "tst_entrymodel.moc"
