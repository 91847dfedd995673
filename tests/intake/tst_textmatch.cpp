// The recogniser's text primitives: the addresses of a header field, the
// one-pass phrase search and the lower-casing beside QString's own.
#include "intake/HeaderFields.h"
#include "intake/PhraseSet.h"

#include <QTest>

class TestTextMatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fieldAddresses_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("expected");
        QTest::addRow("list") << QStringLiteral("A <a@x>, b@y") << QStringList{u"a@x"_qs, u"b@y"_qs};
        QTest::addRow("null path") << QStringLiteral(" <> ") << QStringList{QString()};
        QTest::addRow("empty") << QString() << QStringList{};
        QTest::addRow("at sign at an edge") << QStringLiteral("@x y@ @") << QStringList{};
        QTest::addRow("two at signs") << QStringLiteral("a@b@c @a@b") << QStringList{u"a@b@c"_qs, u"@a@b"_qs};
        QTest::addRow("separators") << QStringLiteral("x;y@z:w (c@d)[e@f]'g@h'")
                                    << QStringList{u"y@z"_qs, u"c@d"_qs, u"e@f"_qs, u"g@h"_qs};
        QTest::addRow("control blanks") << QStringLiteral("a@b\vc@d\fe@f\rg@h")
                                        << QStringList{u"a@b"_qs, u"c@d"_qs, u"e@f"_qs, u"g@h"_qs};
        QTest::addRow("only A to Z lowered")
            << QStringLiteral("Jörg <ÄB@Exämple.DE>") << QStringList{u"Äb@exämple.de"_qs};
        QTest::addRow("no-break space is no blank") << QStringLiteral("a\u00a0b@c") << QStringList{u"a\u00a0b@c"_qs};
    }
    void fieldAddresses()
    {
        QFETCH(QString, value);
        QFETCH(QStringList, expected);
        QCOMPARE(::fieldAddresses(value), expected);
    }

    void phrases_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("found");
        QTest::addRow("at the start") << QStringLiteral("will retry soon") << true;
        QTest::addRow("at the end") << QStringLiteral("we will retry") << true;
        QTest::addRow("cut short") << QStringLiteral("we will retr") << false;
        QTest::addRow("wide characters") << QStringLiteral("宛先: x") << true;
        // Opening hashes collide; the comparison must still tell the phrases apart.
        QTest::addRow("same low bytes") << QStringLiteral("\u0161b") << false;
        QTest::addRow("one character") << QStringLiteral("xyz!") << true;
        QTest::addRow("none") << QStringLiteral("nothing here") << false;
        QTest::addRow("empty") << QString() << false;
    }
    void phrases()
    {
        QFETCH(QString, text);
        QFETCH(bool, found);
        const PhraseSet fixed{u"will retry", u"宛先:", u"ab"};
        const PhraseSet copied(QStringList{u"will retry"_qs, u"宛先:"_qs, u"ab"_qs, u"!"_qs, QString()});
        QCOMPARE(fixed.foundIn(text) || text.contains(u'!'), found);
        QCOMPARE(copied.foundIn(text), found);
    }

    void lowerText()
    {
        for (const QString &text : {u"MiXed Case"_qs, u"lower"_qs, u"İSTANBUL ÉTÉ"_qs, QString()})
            QCOMPARE(::lowerText(text), text.toLower());
    }
};

QTEST_GUILESS_MAIN(TestTextMatch)
#include "tst_textmatch.moc"
