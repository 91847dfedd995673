// The record of handled folder-check messages: a table of its own in the
// list file, made when the file is opened, written only inside the
// transaction of the change it stands for, and bounded.
#include "StoreTestUtil.h"
#include "store/HandledMessages.h"
#include "store/MLTable.h"
#include "store/SqliteDb.h"
#include "testlib/TestEnv.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestHandledMessages : public QObject
{
    Q_OBJECT

    TestEnv m_env;

    static QStringList schema(const QString &path)
    {
        RawDb raw(path);
        QStringList out;
        sqlite3_stmt *s = nullptr;
        sqlite3_prepare_v2(raw.handle(), "SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY name", -1, &s,
                           nullptr);
        while (sqlite3_step(s) == SQLITE_ROW) {
            QStringList row;
            for (int c = 0; c < 4; ++c)
                row << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, c)));
            out << row.join(u'|');
        }
        sqlite3_finalize(s);
        return out;
    }

private Q_SLOTS:
    void identityHashesBothParts()
    {
        const QByteArray a = HandledMessages::identity(u"<1@x>"_s, u"17.M1P2.host"_s);
        QCOMPARE(a.size(), 16);
        QCOMPARE(HandledMessages::identity(u"<1@x>"_s, u"17.M1P2.host"_s), a);
        QVERIFY(HandledMessages::identity(u"<1@x>"_s, u"18.M1P2.host"_s) != a);
        QVERIFY(HandledMessages::identity(u"<2@x>"_s, u"17.M1P2.host"_s) != a);
        // The parts cannot trade characters.
        QVERIFY(HandledMessages::identity(u"ab"_s, u"c"_s) != HandledMessages::identity(u"a"_s, u"bc"_s));
        QVERIFY(!HandledMessages::identity(QString(), u"17"_s).isEmpty());
        QVERIFY(HandledMessages::identity(QString(), QString()).isEmpty());
        // Stored in list files: SHA-256 prefixes, whatever computes them.
        QCOMPARE(a.toHex(), "d0b20358e0dfa3364903f3e970fdaee4");
        const HandledMessages::Generation generation{u"INBOX"_s, 7, 2048};
        QCOMPARE(HandledMessages::identity(u"<1@x>"_s, u"17.M1P2.host"_s, generation).toHex(),
                 "d0b20358e0dfa3364903f3e970fdaee4a4d967463fc7b94831d8138493020b74bdd186c3b74e8103");
    }

    // Made on open where missing; the mailist table and its indexes stay
    // exactly as they were.
    void madeOnOpenBesideAnUnchangedList()
    {
        const QString path = newTableFile(m_env.root());
        const QStringList before = schema(path);
        QVERIFY(!before.join(u' ').contains(u"HandledMessages"_s));
        MLTable table;
        table.setFilePath(path);
        table.open();
        const QStringList after = schema(path);
        QStringList added = after;
        for (const QString &row : before)
            QVERIFY(added.removeOne(row));
        QCOMPARE(added.size(), 4); // two tables and their keys' indexes
        QVERIFY(added.join(u' ').contains(u"table|HandledMessages|HandledMessages|CREATE TABLE"_s));
        QVERIFY(added.join(u' ').contains(u"table|HandledContents|HandledContents|CREATE TABLE"_s));
        QCOMPARE(HandledMessages(table).count(), 0);
    }

    void recordedOnlyWithItsTransaction()
    {
        const QString path = newTableFile(m_env.root());
        MLTable table;
        table.setFilePath(path);
        table.open();
        HandledMessages handled(table);
        const QByteArray id = HandledMessages::identity(u"<1@x>"_s, u"1.host"_s);
        // Outside a transaction there is no change it could stand for.
        QVERIFY_THROWS_EXCEPTION(TableError, handled.record(id));
        {
            MLTable::Transaction t(table);
            table.append(u"a@example.com"_s, u"news"_s, 0, u"c"_s);
            handled.record(id);
            QVERIFY(handled.contains(id));
        } // rolled back: neither the entry nor the record
        QVERIFY(!handled.contains(id));
        QCOMPARE(table.recordCount(), 0);
        {
            MLTable::Transaction t(table);
            table.append(u"a@example.com"_s, u"news"_s, 0, u"c"_s);
            handled.record(id);
            t.commit();
        }
        QVERIFY(handled.contains(id));
        table.close();
        table.open();
        QVERIFY(HandledMessages(table).contains(id));
        QVERIFY(!HandledMessages(table).contains(HandledMessages::identity(u"<2@x>"_s, u"1.host"_s)));
    }

    // A file without the record's table (dropped here): asking is no
    // failure, and the first record makes it again.
    void aFileWithoutTheRecord()
    {
        const QString path = newTableFile(m_env.root());
        MLTable table;
        table.setFilePath(path);
        table.open();
        table.connection().exec("DROP TABLE HandledMessages");
        QVERIFY(!HandledMessages(table).contains(HandledMessages::identity(u"<1@x>"_s, u"1"_s)));
        QCOMPARE(HandledMessages(table).count(), 0);
        // Made again by the first record.
        MLTable::Transaction t(table);
        HandledMessages(table).record(HandledMessages::identity(u"<1@x>"_s, u"1"_s));
        t.commit();
        QCOMPARE(HandledMessages(table).count(), 1);
    }

    // Names valid for one generation of a folder: a message recorded under
    // another generation, or in a folder since renamed, is known by
    // Message-ID and size; in the same folder and generation such a match is
    // another delivery and is applied.
    void knownAcrossGenerations()
    {
        const QString path = newTableFile(m_env.root());
        MLTable table;
        table.setFilePath(path);
        table.open();
        using G = HandledMessages::Generation;
        auto id = [](const char *messageId, const char *name, G g) {
            return HandledMessages::identity(QString::fromLatin1(messageId), QString::fromLatin1(name), g);
        };
        {
            MLTable::Transaction t(table);
            HandledMessages(table).record(id("<1@x>", "box/7/3", G{u"box"_s, 7, 100}));
            HandledMessages(table).record(id("", "box/7/4", G{u"box"_s, 7, 100}));
            t.commit();
        }
        HandledMessages handled(table);
        QVERIFY(handled.contains(id("<1@x>", "box/7/3", G{u"box"_s, 7, 100})));
        QVERIFY(!handled.contains(id("<1@x>", "box/7/9", G{u"box"_s, 7, 100})));
        QVERIFY(handled.contains(id("<1@x>", "box/8/1", G{u"box"_s, 8, 100})));
        QVERIFY(!handled.contains(id("<1@x>", "box/8/1", G{u"box"_s, 8, 101})));
        QVERIFY(handled.contains(id("<1@x>", "other/7/1", G{u"other"_s, 7, 100})));
        QVERIFY(!handled.contains(id("", "box/8/2", G{u"box"_s, 8, 100})));
    }

    void keepsTheLastLimitMessages()
    {
        const QString path = newTableFile(m_env.root());
        MLTable table;
        table.setFilePath(path);
        table.open();
        HandledMessages handled(table);
        const qint64 total = HandledMessages::Limit + 5;
        {
            MLTable::Transaction t(table);
            for (qint64 i = 0; i < total; ++i)
                handled.record(HandledMessages::identity(QString::number(i), u"u"_s));
            t.commit();
        }
        QCOMPARE(handled.count(), HandledMessages::Limit);
        for (qint64 i = 0; i < 5; ++i)
            QVERIFY(!handled.contains(HandledMessages::identity(QString::number(i), u"u"_s)));
        QVERIFY(handled.contains(HandledMessages::identity(QString::number(5), u"u"_s)));
        QVERIFY(handled.contains(HandledMessages::identity(QString::number(total - 1), u"u"_s)));
    }
};

QTEST_GUILESS_MAIN(TestHandledMessages)
#include "tst_handledmessages.moc"
