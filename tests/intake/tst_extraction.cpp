// The tokeniser, address extraction and the command parser: plain logic.
#include "core/RuleList.h"
#include "core/Settings.h"
#include "intake/MessageCommands.h"
#include "intake/StrToStringlist.h"
#include "intake/extractemailaddresses.h"
#include "store/ListWorkspace.h"
#include "store/Validation.h"

#include <QTest>

class TestExtraction : public QObject
{
    Q_OBJECT

    static QStringList tokens(const QString &text, const QString &delimiter)
    {
        QStringList list{QStringLiteral("left over")};
        StrToStringlist(list, text, delimiter);
        return list;
    }

    static QStringList extract(const QStringList &lines, bool validate = true)
    {
        Settings settings;
        settings.Except = validate;
        RuleLists lists;
        QStringList found{QStringLiteral("left over")};
        extractemailaddresses(lines, found, [&](const QString &a) { return validemailaddress(a, settings, lists); });
        return found;
    }

private Q_SLOTS:
    void tokeniser_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<QStringList>("expected");
        const QString blank = QStringLiteral(" ");
        const QString semi = QStringLiteral(";");
        QTest::newRow("re and me dropped")
            << QStringLiteral("Re: subscribe me") << blank << QStringList{QStringLiteral("subscribe")};
        QTest::newRow("any case") << QStringLiteral("RE: ME Me join") << blank << QStringList{QStringLiteral("join")};
        QTest::newRow("runs give no empty tokens")
            << QStringLiteral("a;b;;c") << semi
            << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
        QTest::newRow("me before semicolon") << QStringLiteral("ME; x") << semi << QStringList{QStringLiteral("x")};
        QTest::newRow("only the delimiter") << semi << semi << QStringList{};
        QTest::newRow("empty") << QString() << blank << QStringList{};
        QTest::newRow("tab stays inside")
            << QStringLiteral("a\tb c") << blank << QStringList{QStringLiteral("a\tb"), QStringLiteral("c")};
        QTest::newRow("control characters trimmed") << QStringLiteral("\tjoin\r  news\x01") << blank
                                                    << QStringList{QStringLiteral("join"), QStringLiteral("news")};
        QTest::newRow("duplicates kept") << QStringLiteral("x x") << blank
                                         << QStringList{QStringLiteral("x"), QStringLiteral("x")};
        QTest::newRow("leading delimiter") << QStringLiteral(";a;") << semi << QStringList{QStringLiteral("a")};
        QTest::newRow("re without colon is a word")
            << QStringLiteral("re join") << blank << QStringList{QStringLiteral("re"), QStringLiteral("join")};
    }

    void tokeniser()
    {
        QFETCH(QString, text);
        QFETCH(QString, delimiter);
        QFETCH(QStringList, expected);
        QCOMPARE(tokens(text, delimiter), expected);
    }

    void extraction_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("angle brackets") << QStringList{QStringLiteral("From: Ann <ann@example.org>")}
                                        << QStringList{QStringLiteral("ann@example.org")};
        QTest::newRow("mailto cut at the colon") << QStringList{QStringLiteral("write mailto:bob@example.org now")}
                                                 << QStringList{QStringLiteral("bob@example.org")};
        QTest::newRow("trailing period is refused")
            << QStringList{QStringLiteral("mail carl@example.org.")} << QStringList{};
        QTest::newRow("comma and blank") << QStringList{QStringLiteral("a1a@example.org, b2b@example.org")}
                                         << QStringList{QStringLiteral("a1a@example.org"),
                                                        QStringLiteral("b2b@example.org")};
        QTest::newRow("twice") << QStringList{QStringLiteral("x@example.org"), QStringLiteral("again x@example.org")}
                               << QStringList{QStringLiteral("x@example.org"), QStringLiteral("x@example.org")};
        QTest::newRow("line starting with at sign")
            << QStringList{QStringLiteral("@home: dan@example.org")} << QStringList{};
        QTest::newRow("seventy characters dropped")
            << QStringList{QString(58, QLatin1Char('a')) + QStringLiteral("@example.org")} << QStringList{};
        QTest::newRow("sixty-nine kept") << QStringList{QString(57, QLatin1Char('a')) + QStringLiteral("@example.org")}
                                         << QStringList{QString(57, QLatin1Char('a')) + QStringLiteral("@example.org")};
        QTest::newRow("no at sign") << QStringList{QStringLiteral("nothing here"), QString()} << QStringList{};
        QTest::newRow("several lines in order")
            << QStringList{QStringLiteral("to: one@example.org"),
                           QStringLiteral("<two@example.org>; three@example.org")}
            << QStringList{QStringLiteral("one@example.org"), QStringLiteral("two@example.org"),
                           QStringLiteral("three@example.org")};
        QTest::newRow("tab and slash are not delimiters")
            << QStringList{QStringLiteral("a\tb/c@example.org")} << QStringList{};
    }

    void extraction()
    {
        QFETCH(QStringList, lines);
        QFETCH(QStringList, expected);
        QCOMPARE(extract(lines), expected);
    }

    void extractionKeepsParenthesesForTheCheckToJudge()
    {
        QCOMPARE(extract({QStringLiteral("(eve@example.org)")}, false),
                 QStringList{QStringLiteral("(eve@example.org)")});
        // Without validation anything with an at sign inside goes in.
        QCOMPARE(extract({QStringLiteral("x@y z@")}, false),
                 (QStringList{QStringLiteral("x@y"), QStringLiteral("z@")}));
    }

    void extractionOfAHugeLineIsLinear()
    {
        // Half a million addresses on one line: quadratic work would not finish.
        QString line;
        for (int i = 0; i < 50000; ++i)
            line += QStringLiteral("person%1@example.org, ").arg(i);
        QCOMPARE(extract({line}).size(), 50000);
    }

    void commandLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("recognised");
        QTest::addColumn<bool>("add");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("category");
        const QString sender = QStringLiteral("sender@example.org");
        QTest::newRow("subscribe re") << QStringLiteral("RE: SUBSCRIBE") << true << true << sender
                                      << QStringLiteral("Default");
        QTest::newRow("address and category") << QStringLiteral("unsubscribe x@example.org sports news") << true
                                              << false << QStringLiteral("x@example.org") << QStringLiteral("sports");
        QTest::newRow("category before address") << QStringLiteral("join news y@example.org z@example.org") << true
                                                 << true << QStringLiteral("y@example.org") << QStringLiteral("news");
        QTest::newRow("only an address") << QStringLiteral("unsubscribe x@example.org") << true << false
                                         << QStringLiteral("x@example.org") << QStringLiteral("Default");
        QTest::newRow("not a command") << QStringLiteral("please subscribe me") << false << false << sender
                                       << QString();
        QTest::newRow("empty") << QString() << false << false << sender << QString();
        QTest::newRow("lower case synonym")
            << QStringLiteral("join") << true << true << sender << QStringLiteral("Default");
        QTest::newRow("word on both lists")
            << QStringLiteral("BOTH") << true << false << sender << QStringLiteral("Default");
    }

    void commandLine()
    {
        QFETCH(QString, line);
        QFETCH(bool, recognised);
        QFETCH(bool, add);
        QFETCH(QString, email);
        QFETCH(QString, category);
        ListWorkspace work{QStringList()};
        work.lists.addstr.add(QStringLiteral("BOTH"));
        work.lists.remstr.add(QStringLiteral("BOTH"));
        MessageCommands commands(work.settings, work.lists, work.rules);
        HeldMessage m;
        m.edtemail = QStringLiteral("sender@example.org");
        m.chkdoadd = false;
        QCOMPARE(commands.parsecommandline(line, m), recognised);
        QCOMPARE(m.chkdoadd, add);
        QCOMPARE(m.edtemail, email);
        QCOMPARE(m.edtcategory, category);
    }

    void memoLines()
    {
        QCOMPARE(MessageCommands::memoLines(QStringLiteral("s"), QStringLiteral("a\r\nb\r\n")),
                 (QStringList{QStringLiteral("s"), QStringLiteral("a"), QStringLiteral("b")}));
        QCOMPARE(MessageCommands::memoLines(QStringLiteral("s"), QString()), QStringList{QStringLiteral("s")});
        QCOMPARE(MessageCommands::memoLines(QString(), QStringLiteral("\r\n\r\nx")),
                 (QStringList{QString(), QString(), QString(), QStringLiteral("x")}));
        // Only CR LF breaks a line.
        QCOMPARE(MessageCommands::memoLines(QStringLiteral("s"), QStringLiteral("a\nb\r\r\nc")),
                 (QStringList{QStringLiteral("s"), QStringLiteral("a\nb\r"), QStringLiteral("c")}));
    }
};

QTEST_GUILESS_MAIN(TestExtraction)
#include "tst_extraction.moc"
