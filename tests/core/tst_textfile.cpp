#include "core/TextFile.h"
#include "testlib/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TestTextFile : public QObject
{
    Q_OBJECT

    QString path(const QString &name) const { return QDir(m_env.root()).filePath(name); }
    void writeRaw(const QString &file, const QByteArray &bytes)
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }

private Q_SLOTS:
    void readLines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");

        const QStringList ab{QStringLiteral("a"), QStringLiteral("b")};
        QTest::newRow("LF") << QByteArray("a\nb\n") << ab;
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << ab;
        QTest::newRow("CR") << QByteArray("a\rb\r") << ab;
        QTest::newRow("no end on last line") << QByteArray("a\r\nb") << ab;
        QTest::newRow("mixed") << QByteArray("a\r\nb\nc\rd")
                               << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                                              QStringLiteral("d")};
        QTest::newRow("LF CR is two ends")
            << QByteArray("a\n\rb") << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
        QTest::newRow("empty lines kept")
            << QByteArray("a\r\n\r\nb\r\n") << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
        QTest::newRow("empty file") << QByteArray() << QStringList();
        QTest::newRow("BOM skipped") << QByteArray("\xEF\xBB\xBF"
                                                   "caf\xC3\xA9\r\n")
                                     << QStringList{QStringLiteral("caf\u00E9")};
        QTest::newRow("BOM only at file start")
            << QByteArray("x\r\n\xEF\xBB\xBFy") << QStringList{QStringLiteral("x"), QStringLiteral("\uFEFFy")};
        QTest::newRow("UTF-8") << QByteArray("Gr\xC3\xBC\xC3\x9F"
                                             "e\n\xE2\x82\xAC")
                               << QStringList{QStringLiteral("Gr\u00FC\u00DFe"), QStringLiteral("\u20AC")};
        QTest::newRow("windows-1252") << QByteArray("M\xFCller\r\n\x80\x93\x94\x9F\x81\xA0\xFF")
                                      << QStringList{QStringLiteral("M\u00FCller"),
                                                     QStringLiteral("\u20AC\u201C\u201D\u0178\u0081\u00A0\u00FF")};
        // One bad byte late in the file means the earlier lines were ANSI too.
        QTest::newRow("fallback covers earlier lines")
            << QByteArray("Gr\xC3\xBC\r\n\xE9")
            << QStringList{QStringLiteral("Gr\u00C3\u00BC"), QStringLiteral("\u00E9")};
        QTest::newRow("sequence cut by line end")
            << QByteArray("a\xC3\r\n\xBC") << QStringList{QStringLiteral("a\u00C3"), QStringLiteral("\u00BC")};
        QTest::newRow("overlong encoding") << QByteArray("\xC0\xAF") << QStringList{QStringLiteral("\u00C0\u00AF")};
    }

    void readLines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        const QString file = path(QStringLiteral("in.txt"));
        writeRaw(file, bytes);
        QStringList got{QStringLiteral("stale")};
        QVERIFY(textfile::readLines(file, &got));
        QCOMPARE(got, lines);
    }

    void readFailures()
    {
        QStringList got;
        QString error;
        QVERIFY(!textfile::readLines(path(QStringLiteral("missing.txt")), &got, &error));
        QVERIFY(!error.isEmpty());
        error.clear();
        QVERIFY(!textfile::readLines(m_env.root(), &got, &error));
        QVERIFY(!error.isEmpty());
    }

    void writeIsUtf8WithCrLf()
    {
        const QString file = path(QStringLiteral("out.txt"));
        const QStringList lines{QStringLiteral("Gr\u00FC\u00DFe"), QString(), QStringLiteral("\u20AC")};
        QVERIFY(textfile::writeLines(file, lines));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("Gr\xC3\xBC\xC3\x9F"
                                         "e\r\n\r\n\xE2\x82\xAC\r\n"));
        QStringList back;
        QVERIFY(textfile::readLines(file, &back));
        QCOMPARE(back, lines);

        QVERIFY(textfile::writeLines(file, {}));
        QCOMPARE(QFileInfo(file).size(), 0);
    }

    void writeFailures()
    {
        QString error;
        QVERIFY(!textfile::writeLines(path(QStringLiteral("no/such/dir/out.txt")), {QStringLiteral("x")}, &error));
        QVERIFY(!error.isEmpty());

        // A directory where the file should be: fails even for root.
        const QString dir = path(QStringLiteral("blocked.txt"));
        QVERIFY(QDir().mkpath(dir));
        error.clear();
        QVERIFY(!textfile::writeLines(dir, {QStringLiteral("x")}, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(QFileInfo(dir).isDir());
    }

    void longFileWithCrOnlyEnds()
    {
        // Guards against rescanning to the end of the file for every line.
        const int count = 200000;
        QByteArray bytes;
        for (int i = 0; i < count; ++i)
            bytes += "line " + QByteArray::number(i) + '\r';
        const QString file = path(QStringLiteral("cr.txt"));
        writeRaw(file, bytes);
        QStringList got;
        QVERIFY(textfile::readLines(file, &got));
        QCOMPARE(got.size(), count);
        QCOMPARE(got.last(), QStringLiteral("line 199999"));
    }

private:
    TestEnv m_env;
};

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_textfile.moc"
