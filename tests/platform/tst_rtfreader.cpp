// The rich-text reader of the help window: the RTF of an independent writer
// (pandoc), hand-written edge cases, the shipped help document, and broken
// input that must end quickly in text or a clean failure.
#include "platform/richtext/RtfReader.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

using platform::richtext::readRtf;
using platform::richtext::readRtfFile;

namespace {

// Paragraphs joined by '\n'; a \line stays U+2028.
QString blocks(const QTextDocument &doc)
{
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        out << b.text();
    return out.join(QLatin1Char('\n'));
}

QTextCharFormat formatOf(const QTextDocument &doc, const QString &word)
{
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().text().contains(word))
                return it.fragment().charFormat();
    return {};
}

QTextBlock blockWith(const QTextDocument &doc, const QString &text)
{
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        if (b.text().contains(text))
            return b;
    return {};
}

// Nested groups, escapes, code pages and Unicode with fallbacks, as a word
// processor or a careful hand writes them.
const char kHandWritten[] = R"({\rtf1\ansi\ansicpg1252\deff0
{\fonttbl{\f0\froman\fcharset0 Times New Roman;}{\f1\fswiss\fcharset204{\*\panose 020b0604}Arial Cyr;}
{\f2\fnil\fcharset2 Symbol;}{\f3\fmodern Courier New;}}
{\colortbl;\red255\green0\blue0;\red0\green0\blue255;}
{\stylesheet{\s1 heading 1;}}{\info{\title Hidden title}{\author Someone}}
{\*\generator Hand 1.0;}
\pard\plain\s1\qc\outlinelevel0\b\fs32 Heading\par
\pard\plain\li720\fi-360 {\listtext\f2\'b7\tab}Bullet item\par
\pard\plain Plain {\b bold {\i bolditalic} bold2} {\ul under}{\ulnone  gone} {\strike struck} x{\super sup}\par
{\f3\fs20 mono} {\cf1 red} {\cf2\fs28 bluebig}\par
Escapes: \\ \{ \} caf\'e9 \'80 \'93q\'94 \emdash \~nbsp\_hy\-phen\par
Cyrillic: {\f1 \'c0\'e1\'e2}\par
Unicode: \u233? \uc2\u8364 EU\uc1  {\uc3\u216 A}B \u-10179?\u-8704? {\uc0\u937 \u-3913\'b7}\par
Fields: {\field{\*\fldinst HYPERLINK "mailto:someone@example.org"}{\fldrslt link text}}\par
Skipped:{\pict\pngblip\bin6 }{}\{x} shown{\*\unknowndest gone}{\header Head}\par
Line\line two\tab tabbed{\v hidden}\par
\trowd\cellx1000\cellx2000\intbl A1\cell B1\cell\row
Last paragraph without par})";

const char kMarkdown[] = R"(# First heading

Some *slanted* and **strong** text, `code`, café, 20 €, “quoted” -- dashed.

## Second heading

- one
- two
    1. nested

[a link](http://example.org/hidden)

| Name | Count |
|------|-------|
| alpha | 7 |
)";

QByteArray pandoc(const QByteArray &markdown)
{
    QProcess p;
    p.start(QStringLiteral("pandoc"), {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("markdown"),
                                       QStringLiteral("-t"), QStringLiteral("rtf")});
    if (!p.waitForStarted())
        return {};
    p.write(markdown);
    p.closeWriteChannel();
    p.waitForFinished(30000);
    return p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
}

QByteArray repeated(const QByteArray &piece, qsizetype total)
{
    QByteArray out;
    out.reserve(total + piece.size());
    while (out.size() < total)
        out += piece;
    return out;
}

} // namespace

class TestRtfReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void handWrittenText()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("hand.rtf"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kHandWritten);
        file.close();

        QTextDocument doc;
        QString error;
        QVERIFY2(readRtfFile(path, &doc, &error), qPrintable(error));
        const QStringList expected{
            QStringLiteral("Heading"),
            QStringLiteral("\u2022\tBullet item"),
            QStringLiteral("Plain bold bolditalic bold2 under gone struck xsup"),
            QStringLiteral("mono red bluebig"),
            QStringLiteral("Escapes: \\ { } caf\u00e9 \u20ac \u201cq\u201d \u2014\u00a0nbsp\u2011hyphen"),
            QStringLiteral("Cyrillic: \u0410\u0431\u0432"),
            QStringLiteral("Unicode: \u00e9 \u20ac \u00d8B \U0001F600 \u03a9\uf0b7\u00b7"),
            QStringLiteral("Fields: link text"),
            QStringLiteral("Skipped: shown"),
            QStringLiteral("Line\u2028two\ttabbed"),
            QStringLiteral("A1\tB1\t"),
            QStringLiteral("Last paragraph without par"),
        };
        QCOMPARE(blocks(doc), expected.join(QLatin1Char('\n')));
    }

    void handWrittenFormats()
    {
        QTextDocument doc;
        QVERIFY(readRtf(kHandWritten, &doc, nullptr));

        const QTextBlock heading = blockWith(doc, QStringLiteral("Heading"));
        QCOMPARE(heading.blockFormat().headingLevel(), 1);
        QCOMPARE(heading.blockFormat().alignment(), Qt::AlignHCenter);
        const QTextBlock bullet = blockWith(doc, QStringLiteral("Bullet"));
        QCOMPARE(bullet.blockFormat().leftMargin(), 48.0);
        QCOMPARE(bullet.blockFormat().textIndent(), -24.0);
        QCOMPARE(blockWith(doc, QStringLiteral("Plain")).blockFormat().headingLevel(), 0);

        struct Expect
        {
            const char *word;
            bool bold, italic, underline, strike;
            double points;
            const char *family;
            Qt::GlobalColor color;
        };
        const Expect rows[] = {
            {"Heading", true, false, false, false, 16, "Times New Roman", Qt::black},
            {"Plain", false, false, false, false, 12, "Times New Roman", Qt::black},
            {"bolditalic", true, true, false, false, 12, "Times New Roman", Qt::black},
            {"bold2", true, false, false, false, 12, "Times New Roman", Qt::black},
            {"under", false, false, true, false, 12, "Times New Roman", Qt::black},
            {"gone", false, false, false, false, 12, "Times New Roman", Qt::black},
            {"struck", false, false, false, true, 12, "Times New Roman", Qt::black},
            {"mono", false, false, false, false, 10, "Courier New", Qt::black},
            {"red", false, false, false, false, 12, "Times New Roman", Qt::red},
            {"bluebig", false, false, false, false, 14, "Times New Roman", Qt::blue},
        };
        for (const Expect &e : rows) {
            const QString word = QString::fromLatin1(e.word);
            const QTextCharFormat f = formatOf(doc, word);
            QVERIFY2(f.isValid(), e.word);
            QCOMPARE(f.fontWeight() == QFont::Bold, e.bold);
            QCOMPARE(f.fontItalic(), e.italic);
            QCOMPARE(f.fontUnderline(), e.underline);
            QCOMPARE(f.fontStrikeOut(), e.strike);
            QCOMPARE(f.fontPointSize(), e.points);
            QCOMPARE(f.fontFamilies().toStringList().value(0), QString::fromLatin1(e.family));
            const QColor expected = e.color == Qt::black ? QColor() : QColor(e.color);
            QCOMPARE(f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color() : QColor(), expected);
        }
        QCOMPARE(formatOf(doc, QStringLiteral("sup")).verticalAlignment(), QTextCharFormat::AlignSuperScript);
    }

    void pandocOutput()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pandoc")).isEmpty())
            QSKIP("pandoc is not installed");
        const QByteArray rtf = pandoc(kMarkdown);
        QVERIFY(rtf.startsWith("{\\rtf"));
        QTextDocument doc;
        QVERIFY(readRtf(rtf, &doc, nullptr));

        const QString text = blocks(doc);
        for (const char *line :
             {"First heading",
              "Some slanted and strong text, code, caf\u00e9, 20 \u20ac, \u201cquoted\u201d \u2013 dashed.",
              "Second heading", "\u2022\tone", "\u2022\ttwo", "1.\tnested", "a link"})
            QVERIFY2(text.split(QLatin1Char('\n')).contains(QString::fromUtf8(line)), line);
        QVERIFY(!text.contains(QLatin1String("hidden")));
        QVERIFY(!text.contains(QLatin1Char('\\')));
        QVERIFY(text.contains(QLatin1String("alpha")) && text.contains(QLatin1String("Count")));

        QCOMPARE(blockWith(doc, QStringLiteral("First heading")).blockFormat().headingLevel(), 1);
        QCOMPARE(blockWith(doc, QStringLiteral("Second heading")).blockFormat().headingLevel(), 2);
        QVERIFY(blockWith(doc, QStringLiteral("nested")).blockFormat().leftMargin()
                > blockWith(doc, QStringLiteral("one")).blockFormat().leftMargin());
        QVERIFY(formatOf(doc, QStringLiteral("strong")).fontWeight() == QFont::Bold);
        QVERIFY(formatOf(doc, QStringLiteral("slanted")).fontItalic());
        QCOMPARE(formatOf(doc, QStringLiteral("code")).fontFamilies().toStringList().value(0),
                 QStringLiteral("Courier"));
    }

    void shippedHelp()
    {
        QTextDocument doc;
        QString error;
        QVERIFY2(readRtfFile(QStringLiteral(QUILLMAR_HELP_RTF), &doc, &error), qPrintable(error));
        QStringList headings;
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
            if (b.blockFormat().headingLevel() == 1)
                headings << b.text();
        for (const char *h : {"The main window", "Checking for new entries", "Options", "Where your files live",
                              "When something goes wrong"})
            QVERIFY2(headings.contains(QString::fromLatin1(h)), h);
        const QString text = doc.toPlainText();
        QVERIFY(text.size() > 10000);
        // No control word or group of the file may show as text.
        QVERIFY(!text.contains(QRegularExpression(QStringLiteral("\\\\[a-z]"))));
        QVERIFY(!text.contains(QLatin1Char('{')));

        QVERIFY(!readRtfFile(QStringLiteral(QUILLMAR_HELP_RTF ".missing"), &doc, &error));
        QVERIFY(error.contains(QLatin1String(".missing")));
    }

    void badInput_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<bool>("read");
        QTest::addColumn<QString>("contains");

        const qsizetype tenMb = 10 * 1024 * 1024;
        QByteArray noise(1024 * 1024, Qt::Uninitialized);
        QRandomGenerator random(42);
        random.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);

        QTest::newRow("unclosed groups") << QByteArray("{\\rtf1 {\\b bold {\\i text") << true << "bold text";
        QTest::newRow("extra closing braces") << QByteArray("{\\rtf1 kept}}} not read}") << true << "kept";
        QTest::newRow("truncated escape") << QByteArray("{\\rtf1 end\\'4") << true << "end";
        QTest::newRow("10 MB of paragraphs")
            << QByteArray("{\\rtf1 " + repeated("Some words in a line.\\par\n", tenMb)) << true << "Some words";
        QTest::newRow("10 MB of empty paragraphs") << QByteArray("{\\rtf1 x" + repeated("\\par", tenMb)) << true << "x";
        QTest::newRow("10 MB of formatting changes")
            << QByteArray("{\\rtf1 " + repeated("{\\b a}{\\i\\fs30 b}", tenMb)) << true << "abab";
        QTest::newRow("10 MB of nested groups")
            << QByteArray("{\\rtf1 deep" + repeated("{", tenMb) + "er") << true << "deeper";
        QTest::newRow("binary bytes in text") << QByteArray("{\\rtf1 before " + noise + " after}") << true << "before";
        QTest::newRow("binary file") << noise << false << "";
        QTest::newRow("empty") << QByteArray() << false << "";
        QTest::newRow("huge \\bin") << QByteArray("{\\rtf1 shown\\bin2147483647 {}}}") << true << "shown";
        QTest::newRow("huger \\bin") << QByteArray("{\\rtf1 shown\\bin99999999999999999999 x}") << true << "shown";
        QTest::newRow("huge numbers") << QByteArray(
            "{\\rtf1\\fs99999999999\\li-99999999999{\\uc99999999\\u99999999 gone}\\f88888888888 \\cf77777 b}")
                                      << true << "b";
    }

    void badInput()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(bool, read);
        QFETCH(QString, contains);

        QTextDocument doc;
        doc.setPlainText(QStringLiteral("before"));
        QString error;
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(readRtf(rtf, &doc, &error), read);
        QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
        if (read) {
            QVERIFY(doc.toPlainText().contains(contains));
        } else {
            QVERIFY(!error.isEmpty());
            QCOMPARE(doc.toPlainText(), QStringLiteral("before"));
        }
    }
};

QTEST_MAIN(TestRtfReader)
#include "tst_rtfreader.moc"
