// The vCard reader the local mail store and the mail library share: the
// versions, encodings and line ends of the cards people export.
#include "platform/vcard/VCard.h"
#include "testlib/TestText.h"

#include <QTest>

using platform::vcard::readVCards;
using platform::vcard::VCardContact;

class TestVCard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void vcards_data()
    {
        QTest::addColumn<QByteArray>("card");
        QTest::addColumn<QString>("email1");
        QTest::addColumn<QString>("fullName");
        QTest::newRow("2.1, quoted-printable, soft break")
            << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN:M\xc3\xbcller;J\xc3\xb6rg\r\n"
                          "FN;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:J=C3=B6rg M=\r\n=C3=BCller\r\n"
                          "EMAIL;PREF;INTERNET:joerg@example.org\r\nEMAIL;INTERNET:home@example.net\r\nEND:VCARD\r\n")
            << u8("joerg@example.org") << u8("Jörg Müller");
        QTest::newRow("2.1, soft breaks, LF only")
            << QByteArray("BEGIN:VCARD\nVERSION:2.1\nFN;ENCODING=QUOTED-PRINTABLE:Ann=\ne Ma=\nrie\n"
                          "EMAIL;INTERNET:ann@example.org\nEND:VCARD\n")
            << u8("ann@example.org") << u8("Anne Marie");
        QTest::newRow("2.1, bare parameter, blank after a soft break is text")
            << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nFN;QUOTED-PRINTABLE;CHARSET=ISO-8859-1:Ren=E9=\r\n M=\r\n"
                          "=FCller\r\nEMAIL:rene@example.org\r\nEND:VCARD\r\n")
            << u8("rene@example.org") << u8("René Müller");
        QTest::newRow("2.1, soft break ends the card's last value")
            << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nEMAIL:last@example.org\r\n"
                          "FN;ENCODING=QUOTED-PRINTABLE:Last=\r\n\r\nEND:VCARD\r\n")
            << u8("last@example.org") << u8("Last");
        QTest::newRow("2.1, base64 padding is no soft break")
            << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Gil\r\nPHOTO;ENCODING=BASE64;TYPE=PNG:iVBORw0KGgo=\r\n"
                          "EMAIL;INTERNET:gil@example.org\r\nEND:VCARD\r\n")
            << u8("gil@example.org") << u8("Gil");
        QTest::newRow("lone CR line ends")
            << QByteArray("BEGIN:VCARD\rVERSION:2.1\rFN:Ivy\rEMAIL:ivy@example.org\rEND:VCARD\r")
            << u8("ivy@example.org") << u8("Ivy");
        QTest::newRow("a value that names quoted-printable is no soft break")
            << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Jo\r\nNOTE:sent as quoted-printable, x=\r\n"
                          "EMAIL:jo@example.org\r\nEND:VCARD\r\n")
            << u8("jo@example.org") << u8("Jo");
        QTest::newRow("3.0, folded with a blank")
            << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna\r\n"
                          "EMAIL;TYPE=INTERNET,PREF:very.long.address.that.was.fol\r\n ded@example.org\r\n"
                          "EMAIL;TYPE=INTERNET:second@example.org\r\nEND:VCARD\r\n")
            << u8("very.long.address.that.was.folded@example.org") << u8("Anna");
        QTest::newRow("3.0, folded with a tab, LF only")
            << QByteArray("begin:vcard\nversion:3.0\nfn:Bob\nemail:b\n\tob@example.com\nend:vcard\n")
            << u8("bob@example.com") << u8("Bob");
        QTest::newRow("4.0, group prefix first")
            << QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Carl\\, Jr.\r\nitem1.EMAIL;TYPE=work:carl@example.org\r\n"
                          "EMAIL;PREF=1:mailto:pref@example.org\r\nEND:VCARD\r\n")
            << u8("carl@example.org") << u8("Carl, Jr.");
        QTest::newRow("4.0, mailto value")
            << QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Dora\r\nEMAIL:mailto:dora@example.org\r\nEND:VCARD\r\n")
            << u8("dora@example.org") << u8("Dora");
        QTest::newRow("no address") << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Eve\r\nTEL:123\r\nEND:VCARD\r\n")
                                    << QString() << u8("Eve");
        QTest::newRow("byte order mark") << QByteArray(
            "\xef\xbb\xbf"
            "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Finn\r\nEMAIL:finn@example.org\r\nEND:VCARD\r\n")
                                         << u8("finn@example.org") << u8("Finn");
        QTest::newRow("two cards, in file order")
            << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Gus\r\nEMAIL:gus@example.org\r\nEND:VCARD\r\n"
                          "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Hal\r\nEMAIL:hal@example.org\r\nEND:VCARD\r\n")
            << u8("gus@example.org") << u8("Gus");
    }

    void vcards()
    {
        QFETCH(QByteArray, card);
        QFETCH(QString, email1);
        QFETCH(QString, fullName);
        const VCardContact first = readVCards(card).value(0);
        QCOMPARE(first.emails.value(0), email1);
        QCOMPARE(first.fullName, fullName);
    }

    void vcardListsEveryAddressOfEveryCard()
    {
        const QList<VCardContact> cards
            = readVCards("BEGIN:VCARD\r\nFN:A\r\nEMAIL:a1@x.org\r\nEMAIL:a2@x.org\r\nEND:VCARD\r\n"
                         "stray line\r\nEMAIL:outside@x.org\r\n"
                         "BEGIN:VCARD\r\nFN:B\r\nNICKNAME:Bee,Bea\r\nEND:VCARD\r\n");
        QCOMPARE(cards.size(), 2);
        QCOMPARE(cards[0].emails, (QStringList{u8("a1@x.org"), u8("a2@x.org")}));
        QCOMPARE(cards[1].emails, QStringList{});
        QCOMPARE(cards[1].nicknames.value(0), u8("Bee"));
        QVERIFY(readVCards("EMAIL:alone@x.org\r\n").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestVCard)
#include "tst_vcard.moc"
