#include "core/RuleList.h"
#include "core/Settings.h"
#include "store/Validation.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestValidation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void builtInRules_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("valid");

        QTest::newRow("plain") << u"someone@example.com"_s << true;
        QTest::newRow("empty") << u""_s << false;
        QTest::newRow("8 characters") << u"a@bc.def"_s << false;
        QTest::newRow("9 characters") << u"a@bcd.efg"_s << true;
        QTest::newRow("8 characters, one outside the BMP") << u"a@bc.de\U0001F600"_s << false;
        QTest::newRow("ends in a digit") << u"someone@example.com1"_s << false;
        QTest::newRow("ends in 0") << u"someone@example.c0"_s << false;
        QTest::newRow("digit inside") << u"some1one@example.com"_s << true;
        QTest::newRow("ends in a non-ASCII digit") << u"someone@example.com\u0663"_s << true;
        QTest::newRow("capitals") << u"SomeOne@EXAMPLE.Com"_s << true;
        QTest::newRow("dot only before at") << u"some.one@examplecom"_s << false;
        QTest::newRow("no at") << u"someone.example.com"_s << false;
        QTest::newRow("two ats") << u"some@one@example.com"_s << false;
        QTest::newRow("ends in a dot") << u"someone@example.com."_s << false;
        QTest::newRow("dot dot") << u"some..one@example.com"_s << false;
        QTest::newRow("dot before at") << u"someone.@example.com"_s << false;
        QTest::newRow("dot after at") << u"someone@.example.com"_s << false;
        QTest::newRow("dasd") << u"xdasdx@example.com"_s << false;
        QTest::newRow("DASD in capitals") << u"xDASDx@example.com"_s << false;
        QTest::newRow("sdf") << u"sdf@example.com"_s << false;
        QTest::newRow("mial at 1") << u"mial@example.com"_s << true;
        QTest::newRow("mial at 4") << u"abcmial@example.com"_s << true;
        QTest::newRow("mial at 5") << u"abcdmial@example.com"_s << false;
        QTest::newRow("MIAL at 5") << u"abcdMIAL@example.com"_s << false;
        QTest::newRow("mial in the domain") << u"someone@mial.com"_s << false;
        QTest::newRow("mial at 1 and again later") << u"mialbox@mial.com"_s << true;
        QTest::newRow("mail is fine") << u"someone@mail.example.com"_s << true;
        QTest::newRow("bell alone before the at") << u"\a@iana.org"_s << false;
        QTest::newRow("nothing before the at") << u"@iana.org"_s << false;
        QTest::newRow("nothing before the at, long") << u"@mail.example.com"_s << false;
        QTest::newRow("line break at the end") << u"someone@example.com\r\n"_s << false;

        const struct
        {
            const char *name;
            char16_t c;
            bool valid;
        } characters[] = {
            {"blank", u' ', false},        {"exclamation", u'!', false},
            {"comma", u',', false},        {"slash", u'/', false},
            {"colon", u':', false},        {"semicolon", u';', false},
            {"backslash", u'\\', false},   {"less", u'<', true},
            {"greater", u'>', true},       {"double quote", u'"', true},
            {"single quote", u'\'', true}, {"tab", u'\t', false},
            {"NUL", u'\0', false},         {"bell", u'\a', false},
            {"DEL", u'\x7f', false},       {"C1 next line", u'\x85', false},
            {"C1 last", u'\x9f', false},   {"no-break space", u'\xa0', true},
        };
        for (const auto &ch : characters) {
            QTest::newRow(ch.name) << u"some"_s + QChar(ch.c) + u"one@example.com"_s << ch.valid;
            QTest::newRow(QByteArray(ch.name) + " at the start") << QChar(ch.c) + u"someone@example.com"_s << ch.valid;
        }
    }

    void builtInRules()
    {
        QFETCH(QString, address);
        QFETCH(bool, valid);
        const Settings settings;
        const RuleLists lists;
        QVERIFY(settings.Except);
        const QString copy = address;
        QCOMPARE(validemailaddress(address, settings, lists), valid);
        QCOMPARE(address, copy);
    }

    void exceptOffAcceptsAnything_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("empty") << QString();
        QTest::newRow("no at sign") << u"nothing"_s;
        QTest::newRow("blank and digit") << u"a b 1"_s;
        QTest::newRow("built-in exception") << u"x..y@example.com"_s;
    }

    void exceptOffAcceptsAnything()
    {
        QFETCH(QString, address);
        Settings settings;
        settings.Except = false;
        QVERIFY(validemailaddress(address, settings, RuleLists()));
    }

    void userExceptions_data()
    {
        QTest::addColumn<QStringList>("exceptions");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("valid");

        const QStringList withoutDots{u"dasd"_s, u"sdf"_s};
        QTest::newRow("dot dot, pieces removed") << withoutDots << u"some..one@example.com"_s << true;
        QTest::newRow("dot before at, pieces removed") << withoutDots << u"someone.@example.com"_s << true;
        QTest::newRow("dot after at, pieces removed") << withoutDots << u"someone@.example.com"_s << true;
        QTest::newRow("dasd still refused") << withoutDots << u"xdasdx@example.com"_s << false;
        QTest::newRow("capital entry refuses nothing") << QStringList{u"SPAM"_s} << u"spam@example.com"_s << true;
        QTest::newRow("mixed-case entry refuses nothing") << QStringList{u"Spam"_s} << u"SPAM@example.com"_s << true;
        QTest::newRow("lower-case entry, address in capitals")
            << QStringList{u"spam"_s} << u"SPAM@example.com"_s << false;
        QTest::newRow("empty entry refuses nothing") << QStringList{QString()} << u"someone@example.com"_s << true;
        QTest::newRow("no entries") << QStringList{} << u"so..me@example.com"_s << true;
        QTest::newRow("piece across the at sign") << QStringList{u"e@e"_s} << u"someone@example.com"_s << false;
    }

    void userExceptions()
    {
        QFETCH(QStringList, exceptions);
        QFETCH(QString, address);
        QFETCH(bool, valid);
        RuleLists lists;
        lists.except.setItems(exceptions);
        QCOMPARE(validemailaddress(address, Settings(), lists), valid);
    }
};

QTEST_GUILESS_MAIN(TestValidation)
#include "tst_validation.moc"
