#include "platform/outlook/MailMessage.h"
#include "platform/outlook/MessageText.h"
#include "testlib/TestEnv.h"
#include "testlib/TestText.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <limits>

using platform::outlook::MailAddress;
using platform::outlook::MailMessage;
using platform::outlook::MessageReadError;

namespace platform::outlook {
char *toString(const MailAddress &a)
{
    return QTest::toString(QString(a.name + QStringLiteral(" <") + a.address + QLatin1Char('>')));
}
} // namespace platform::outlook

namespace {

MailAddress mailbox(const char *name, const char *address)
{
    return {QString::fromUtf8(name), QString::fromUtf8(address)};
}

// Lines end in CR LF and nothing else; no half surrogates.
bool isCleanText(const QString &text)
{
    if (!text.isValidUtf16())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n'))
            return false;
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r'))
            return false;
    }
    return true;
}

const QByteArray kPlain = "Return-Path: <anna.berg@example.org>\r\n"
                          "Received: from mail.example.org (mail.example.org [192.0.2.10])\r\n"
                          "\tby mx.example.net with ESMTPS id 4Rk2; Tue, 12 Mar 2024 09:15:02 +0100\r\n"
                          "Message-ID: <20240312081500.1234@example.org>\r\n"
                          "Date: Tue, 12 Mar 2024 09:15:00 +0100\r\n"
                          "From: Anna Berg <anna.berg@example.org>\r\n"
                          "To: \"Lists, Quillmar\" <lists@example.net>, helpdesk@example.net\r\n"
                          "Cc: Bob <bob@example.com>\r\n"
                          "Subject: subscribe news\r\n"
                          "MIME-Version: 1.0\r\n"
                          "Content-Type: text/plain; charset=utf-8\r\n"
                          "Content-Transfer-Encoding: 8bit\r\n"
                          "\r\n"
                          "subscribe anna.berg@example.org news\r\n"
                          "\r\n"
                          "Gr\xc3\xbc\xc3\x9f"
                          "e, Anna\r\n";

} // namespace

class TestMailMessage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void plainMessage()
    {
        const MailMessage m = MailMessage::fromBytes(kPlain);
        QCOMPARE(m.subject(), u8("subscribe news"));
        QCOMPARE(m.body(), u8("subscribe anna.berg@example.org news\r\n\r\nGrüße, Anna\r\n"));
        QCOMPARE(m.sentOn().toUTC(), QDateTime(QDate(2024, 3, 12), QTime(8, 15), Qt::UTC));
        QCOMPARE(m.sentOn().timeSpec(), Qt::LocalTime);
        QCOMPARE(m.from(), mailbox("Anna Berg", "anna.berg@example.org"));
        QCOMPARE(m.replyTo(), m.from());
        const QList<MailAddress> expected = {mailbox("Lists, Quillmar", "lists@example.net"),
                                             mailbox("", "helpdesk@example.net"), mailbox("Bob", "bob@example.com")};
        QCOMPARE(m.recipients(), expected);
    }

    // Files as saved by different systems, and by none in particular.
    void lineEndings_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QByteArray>("reference");
        const auto withEnds = [](QByteArray text, QList<QByteArray> ends) {
            QByteArray out;
            for (int i = 0; !text.isEmpty(); ++i) {
                const qsizetype at = text.indexOf("\r\n");
                out += text.left(at) + ends[i % ends.size()];
                text.remove(0, at + 2);
            }
            return out;
        };
        const QByteArray qp = "From: a@example.org\r\nSubject: x\r\n"
                              "Content-Type: text/plain; charset=utf-8\r\n"
                              "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
                              "a line the mailer wrap=\r\nped\r\n5 =E2=82=AC\r\n\r\nend\r\n";
        QTest::newRow("CR LF") << kPlain << kPlain;
        QTest::newRow("LF only") << withEnds(kPlain, {"\n"}) << kPlain;
        QTest::newRow("CR only") << withEnds(kPlain, {"\r"}) << kPlain;
        QTest::newRow("all three, line by line") << withEnds(kPlain, {"\n", "\r", "\r\n"}) << kPlain;
        QTest::newRow("soft breaks, CR only") << withEnds(qp, {"\r"}) << qp;
        // Not LF then CR: a CR before an empty line's LF is one CR LF, and the blank line is gone.
        QTest::newRow("soft breaks, CR and LF") << withEnds(qp, {"\r", "\n"}) << qp;
    }
    void lineEndings()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QByteArray, reference);
        TestEnv env;
        const QString path = QDir(env.root()).filePath(QStringLiteral("message"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(raw), raw.size());
        f.close();
        const MailMessage m = MailMessage::fromFile(path);
        const MailMessage expected = MailMessage::fromBytes(reference);
        QVERIFY(!expected.body().isEmpty());
        QVERIFY(isCleanText(m.body()));
        QCOMPARE(m.subject(), expected.subject());
        QCOMPARE(m.body(), expected.body());
        QCOMPARE(m.from(), expected.from());
        QCOMPARE(m.recipients(), expected.recipients());
        QCOMPARE(m.sentOn(), expected.sentOn());
    }

    void toCrLf_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("no breaks") << u8("abc") << u8("abc");
        QTest::newRow("CR LF kept") << u8("a\r\nb\r\n") << u8("a\r\nb\r\n");
        QTest::newRow("LF") << u8("\na\nb\n") << u8("\r\na\r\nb\r\n");
        QTest::newRow("lone CR") << u8("a\rb\r") << u8("a\r\nb\r\n");
        QTest::newRow("LF CR is two breaks") << u8("a\n\rb") << u8("a\r\n\r\nb");
        QTest::newRow("mixed") << u8("a\r\r\nb\n\nc\r\nd\re") << u8("a\r\n\r\nb\r\n\r\nc\r\nd\r\ne");
    }
    void blankLineAt_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qsizetype>("from");
        QTest::addColumn<qsizetype>("expected");
        QTest::newRow("LF") << QByteArray("a: b\n\nbody") << qsizetype(0) << qsizetype(4);
        QTest::newRow("CR LF") << QByteArray("a: b\r\n\r\nbody") << qsizetype(0) << qsizetype(5);
        QTest::newRow("none") << QByteArray("a: b\nc: d\n") << qsizetype(0) << qsizetype(-1);
        QTest::newRow("CR at the end") << QByteArray("a: b\n\r") << qsizetype(0) << qsizetype(-1);
        QTest::newRow("empty first line") << QByteArray("\n\nx") << qsizetype(0) << qsizetype(0);
        QTest::newRow("after from") << QByteArray("x\n\ny\n\nz") << qsizetype(3) << qsizetype(4);
    }
    void blankLineAt()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qsizetype, from);
        QFETCH(qsizetype, expected);
        QCOMPARE(platform::outlook::mailtext::blankLineAt(bytes, from), expected);
    }

    void toCrLf()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const QString shared = text;
        QCOMPARE(platform::outlook::mailtext::toCrLf(text), expected);
        QCOMPARE(text, shared);
    }

    void htmlToText_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");
        QTest::newRow("entities") << u8("a &amp; b &lt;c&gt; &quot;q&quot; &#8217;&#x2019;&#X41; &eacute;&Eacute;")
                                  << u8("a & b <c> \"q\" ’’A éÉ");
        QTest::newRow("nbsp does not collapse") << u8("a&nbsp;&nbsp;b \u00a0c") << u8("a  b  c");
        QTest::newRow("not references") << u8("AT&T &bogus; &amp no &#xZZ; &#; &")
                                        << u8("AT&T &bogus; &amp no &#xZZ; &#; &");
        QTest::newRow("Windows characters as references") << u8("&#147;x&#148; &#128;&#150;") << u8("“x” €–");
        QTest::newRow("invalid code points")
            << u8("&#0;&#xD800;&#1114112;&#99999999999;") << u8("\uFFFD\uFFFD\uFFFD\uFFFD");
        QTest::newRow("outside the BMP") << u8("&#x1F600;&#128512;") << u8("😀😀");
        QTest::newRow("br breaks each time") << u8("a<br>b<BR/><br />c</br>d") << u8("a\r\nb\r\n\r\nc\r\nd");
        QTest::newRow("blocks break once")
            << u8("<p>a</p><p>b</p>\n<div><P>c</P></div><td>d") << u8("a\r\nb\r\nc\r\nd");
        QTest::newRow("blanks collapse, none at line ends")
            << u8("  a \n\t b  <p> c&nbsp; </p> <b>d</b> <i>e</i>  ") << u8("a b\r\nc\r\nd e");
        QTest::newRow("no breaks before the text or after it") << u8("<br><p><br>a<br></p><br>") << u8("a");
        QTest::newRow("script, style and title dropped")
            << u8("<title>T</title><style>p { }</style>a<script>if (x<y) s = '</p>';</script>b"
                  "<SCRIPT type=x>y</Script >c<script>never closed")
            << u8("abc");
        QTest::newRow("quoted '>' in attributes")
            << u8("<a href=\"x>y\" title='>'>link</a> <img alt = \"a > b\">") << u8("link");
        QTest::newRow("quotes inside unquoted values")
            << u8("<img alt=don't>shown<font face=Arial\">too</font>") << u8("showntoo");
        QTest::newRow("comments") << u8("a<!-- <p>x</p> -->b<!---->c<!-->d<!--->e<!-- never closed") << u8("abcde");
        QTest::newRow("declarations and Word markup")
            << u8("<!DOCTYPE html><?xml version=\"1.0\"?><![if !vml]>a<![endif]><o:p>b</o:p>") << u8("ab");
        QTest::newRow("'<' that opens no tag") << u8("1 < 2, I <3 you, a<") << u8("1 < 2, I <3 you, a<");
        QTest::newRow("empty and odd end tags") << u8("a</>b</ x>c</") << u8("abc</");
        QTest::newRow("unclosed tag at the end") << u8("a <b class=\"x") << u8("a");
        QTest::newRow("pre keeps blanks and breaks")
            << u8("x<pre>\n  a  b\n\tc\r\n\nd\re</pre>y") << u8("x\r\n  a  b\r\n\tc\r\n\r\nd\r\ne\r\ny");
    }
    void htmlToText()
    {
        QFETCH(QString, html);
        QFETCH(QString, text);
        QCOMPARE(platform::outlook::mailtext::htmlToText(html), text);
    }

    // Linear: markup that makes a careless converter search again and again.
    void htmlToTextLongInput()
    {
        const QString html = u8("<p title='a>b'>x&amp;y<br><!-- c --></p>").repeated(100000)
                             + u8("&amp").repeated(100000) + u8("<script>") + u8("</scrip<").repeated(100000);
        const QString text = platform::outlook::mailtext::htmlToText(html);
        QCOMPARE(text, u8("x&y\r\n").repeated(100000) + u8("&amp").repeated(100000));
    }

    void transferEncodings_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("body");
        QTest::newRow("quoted-printable")
            << QByteArray("From: a@example.org\r\nSubject: x\r\nMIME-Version: 1.0\r\n"
                          "Content-Type: text/plain; charset=\"UTF-8\"\r\n"
                          "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
                          "Price: 5 =E2=82=AC, a very long line that the sender's mailer has wrapped=\r\n"
                          " softly\r\nx=3Dy\r\n")
            << u8("Price: 5 €, a very long line that the sender's mailer has wrapped softly\r\nx=y\r\n");
        QTest::newRow("base64") << QByteArray("From: a@example.org\r\nSubject: x\r\nMIME-Version: 1.0\r\n"
                                              "Content-Type: text/plain; charset=utf-8\r\n"
                                              "Content-Transfer-Encoding: base64\r\n\r\n"
                                              + QByteArray("unsubscribe\nK\xc3\xb6ln\n").toBase64() + "\r\n")
                                << u8("unsubscribe\r\nKöln\r\n");
        QTest::newRow("broken base64 keeps what decodes")
            << QByteArray("From: a@example.org\r\nSubject: x\r\nContent-Type: text/plain\r\n"
                          "Content-Transfer-Encoding: base64\r\n\r\n"
                          "c3Vic2NyaWJl!!\r\n")
            << u8("subscribe");
    }
    void transferEncodings()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, body);
        QCOMPARE(MailMessage::fromBytes(raw).body(), body);
    }

    // Fields are decoded when first asked: the order of asking, asking
    // again, and a copy taken before or after must not change a value.
    void fieldsReadInAnyOrder_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::newRow("plain") << kPlain;
        QTest::newRow("base64 HTML") << QByteArray(
            "From: a@example.org\r\nTo: b@example.org\r\nSubject: =?utf-8?q?K=C3=B6ln?=\r\n"
            "Date: Mon, 11 Mar 2024 07:00:00 +0000\r\nContent-Type: text/html; charset=utf-8\r\n"
            "Content-Transfer-Encoding: base64\r\n\r\n"
            + QByteArray("<p>join <b>news</b></p>").toBase64() + "\r\n");
        QTest::newRow("no header block") << QByteArray("subscribe me\nnews\n");
    }
    void fieldsReadInAnyOrder()
    {
        QFETCH(QByteArray, raw);
        struct Fields
        {
            QString subject, body;
            QDateTime sentOn;
            QList<MailAddress> recipients;
        };
        const MailMessage forward = MailMessage::fromBytes(raw);
        const MailMessage copyBefore = forward;
        const Fields a{forward.subject(), forward.body(), forward.sentOn(), forward.recipients()};
        const MailMessage copyAfter = forward;
        const MailMessage backward = MailMessage::fromBytes(raw);
        Fields b;
        b.recipients = backward.recipients();
        b.sentOn = backward.sentOn();
        b.body = backward.body();
        b.subject = backward.subject();
        for (const MailMessage *m : {&forward, &backward, &copyBefore, &copyAfter}) {
            QCOMPARE(m->subject(), a.subject);
            QCOMPARE(m->body(), a.body);
            QCOMPARE(m->sentOn(), a.sentOn);
            QCOMPARE(m->recipients(), a.recipients);
        }
        QCOMPARE(b.subject, a.subject);
        QCOMPARE(b.body, a.body);
        QCOMPARE(b.sentOn, a.sentOn);
        QCOMPARE(b.recipients, a.recipients);
        QVERIFY(!a.body.isEmpty());
    }

    void bodyPartChoice_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("body");
        QTest::newRow("alternative, HTML first")
            << QByteArray("From: Anna <a@example.org>\r\nSubject: test\r\nMIME-Version: 1.0\r\n"
                          "Content-Type: multipart/alternative; boundary=\"=_alt\"\r\n\r\n"
                          "This is a multi-part message in MIME format.\r\n"
                          "--=_alt\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
                          "<html><body><b>html</b> version</body></html>\r\n"
                          "--=_alt\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n"
                          "plain version\r\n"
                          "--=_alt--\r\n")
            << u8("plain version");
        QTest::newRow("text attachment before the text")
            << QByteArray("From: a@example.org\r\nSubject: list\r\nMIME-Version: 1.0\r\n"
                          "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
                          "--b1\r\nContent-Type: text/plain; name=\"addresses.txt\"\r\n"
                          "Content-Disposition: attachment; filename=\"addresses.txt\"\r\n\r\n"
                          "x@example.org\r\n"
                          "--b1\r\nContent-Type: multipart/alternative; boundary=\"b2\"\r\n\r\n"
                          "--b2\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n"
                          "please add the attached\r\n"
                          "--b2\r\nContent-Type: text/html\r\n\r\n<p>please add</p>\r\n"
                          "--b2--\r\n"
                          "--b1--\r\n")
            << u8("please add the attached");
        QTest::newRow("attached message is not the body")
            << QByteArray("From: a@example.org\r\nSubject: fwd\r\nMIME-Version: 1.0\r\n"
                          "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                          "--b\r\nContent-Type: message/rfc822\r\n\r\n"
                          "From: c@example.org\r\nSubject: inner\r\n\r\ninner body\r\n"
                          "--b--\r\n")
            << QString();
        QTest::newRow("broken boundary") << QByteArray(
            "From: a@example.org\r\nSubject: x\r\nMIME-Version: 1.0\r\n"
            "Content-Type: multipart/mixed; boundary=\"never-used\"\r\n\r\n"
            "--other\r\nContent-Type: text/plain\r\n\r\nsubscribe\r\n--other--\r\n")
                                         << QString();
        QTest::newRow("CR LF headers, LF body")
            << QByteArray("From: a@example.org\r\nSubject: x\r\nMIME-Version: 1.0\r\n"
                          "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                          "--b\nContent-Type: text/plain\n\nsubscribe news\n--b--\n")
            << u8("subscribe news");
        QTest::newRow("unterminated multipart")
            << QByteArray("From: a@example.org\r\nSubject: x\r\nMIME-Version: 1.0\r\n"
                          "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                          "--b\r\nContent-Type: text/plain\r\n\r\nsubscribe news\r\n")
            << u8("subscribe news");
    }
    void bodyPartChoice()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, body);
        // Part bodies keep the break before the boundary only as the parser decides.
        QString got = MailMessage::fromBytes(raw).body();
        while (got.endsWith(u"\r\n"))
            got.chop(2);
        QCOMPARE(got, body);
    }

    void htmlOnly()
    {
        const QString target = QDir::temp().filePath(QStringLiteral("quillmar-never-read.txt"));
        const QByteArray raw = "From: \"Newsletter\" <news@example.com>\r\nSubject: Hello\r\nMIME-Version: 1.0\r\n"
                               "Content-Type: multipart/related; boundary=\"rel\"\r\n\r\n"
                               "--rel\r\nContent-Type: text/html; charset=\"iso-8859-1\"\r\n"
                               "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
                               "<html><head><style>p { color: red; }</style></head><body>\r\n"
                               "<p><img src=3D\"cid:logo@example.com\">unsubscribe&nbsp;me</p>\r\n"
                               "<p>It=92s <img src=3D\"/dev/zero\"><img src=3D\"file://"
                               + target.toUtf8()
                               + "\">done</p>\r\n"
                                 "</body></html>\r\n"
                                 "--rel\r\nContent-Type: image/png\r\nContent-ID: <logo@example.com>\r\n"
                                 "Content-Transfer-Encoding: base64\r\n\r\niVBORw0KGgo=\r\n"
                                 "--rel--\r\n";
        {
            // Would show up in the text if the document loaded it.
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("LEAKED");
        }
        const QString body = MailMessage::fromBytes(raw).body();
        QFile::remove(target);
        QCOMPARE(body, u8("unsubscribe me\r\nIt’s done"));
    }

    void htmlCharsetFromMeta()
    {
        const QByteArray raw = "From: a@example.org\r\nSubject: x\r\nContent-Type: text/html\r\n\r\n"
                               "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=koi8-r\">"
                               "</head><body>\xf0\xd2\xc9\xd7\xc5\xd4</body></html>\r\n";
        QCOMPARE(MailMessage::fromBytes(raw).body(), u8("Привет"));
    }

    // Outlook labels Windows text as Latin-1 or ASCII; unlabelled bytes may not be UTF-8.
    void bodyCharsets_data()
    {
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("body");
        QTest::newRow("iso-8859-1 with windows-1252 bytes")
            << QByteArray("text/plain; charset=\"iso-8859-1\"") << QByteArray("\x93subscribe\x94 \x80 5 \xe9t\xe9")
            << u8("“subscribe” € 5 été");
        QTest::newRow("us-ascii with a smart apostrophe")
            << QByteArray("text/plain; charset=us-ascii") << QByteArray("don\x92t") << u8("don’t");
        QTest::newRow("unlabelled, not UTF-8")
            << QByteArray("text/plain") << QByteArray("caf\xe9 \x96 na\xefve") << u8("café – naïve");
        QTest::newRow("unlabelled UTF-8") << QByteArray("text/plain") << QByteArray("caf\xc3\xa9") << u8("café");
        QTest::newRow("koi8-r") << QByteArray("text/plain; charset=KOI8-R") << QByteArray("\xf0\xd2\xc9\xd7\xc5\xd4")
                                << u8("Привет");
        QTest::newRow("shift_jis") << QByteArray("text/plain; charset=shift_jis") << QByteArray("\x93\xfa\x96\x7b")
                                   << u8("日本");
        QTest::newRow("iso-2022-jp") << QByteArray("text/plain; charset=iso-2022-jp") << QByteArray("\x1b$BF|K\\\x1b(B")
                                     << u8("日本");
        QTest::newRow("unknown charset") << QByteArray("text/plain; charset=x-no-such-set") << QByteArray("K\xc3\xb6ln")
                                         << u8("Köln");
        QTest::newRow("invalid bytes in a charset") << QByteArray("text/plain; charset=utf-8")
                                                    << QByteArray("a\xff"
                                                                  "b")
                                                    << u8("a\uFFFDb");
        // HTML is read from its bytes where it can be; the text must not change.
        QTest::newRow("HTML, windows-1252 labelled as Latin-1") << QByteArray("text/html; charset=iso-8859-1")
                                                                << QByteArray("<p>\x93"
                                                                              "caf\xe9\x94\xa0\x80</p>")
                                                                << u8("“café” €");
        QTest::newRow("HTML, unlabelled UTF-8 with a stray byte")
            << QByteArray("text/html") << QByteArray("<b>caf\xc3\xa9</b> na\xefve \xf0\x9f\x98\x80")
            << u8("café naïve 😀");
        QTest::newRow("HTML, invalid bytes in UTF-8") << QByteArray("text/html; charset=utf-8")
                                                      << QByteArray("<p>a\xff"
                                                                    "b</p>")
                                                      << u8("a\uFFFDb");
        QTest::newRow("HTML, byte-order mark")
            << QByteArray("text/html; charset=utf-8") << QByteArray("\xef\xbb\xbf<p>x</p>") << u8("x");
    }
    void bodyCharsets()
    {
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, body);
        const QByteArray raw = "From: a@example.org\r\nSubject: x\r\nMIME-Version: 1.0\r\n"
                               "Content-Type: "
                               + contentType
                               + "\r\n"
                                 "Content-Transfer-Encoding: 8bit\r\n\r\n"
                               + bytes;
        QCOMPARE(MailMessage::fromBytes(raw).body(), body);
    }

    void subjects_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QString>("subject");
        QTest::newRow("folded with a tab") << QByteArray("subscribe\r\n\tnews") << u8("subscribe news");
        QTest::newRow("folded with blanks around")
            << QByteArray("subscribe  \r\n   news\r\n sports") << u8("subscribe news sports");
        QTest::newRow("tab inside a line stays") << QByteArray("a\tb") << u8("a\tb");
        QTest::newRow("Q with underscores") << QByteArray("=?utf-8?q?Re:_subscribe_=C3=BC?=") << u8("Re: subscribe ü");
        QTest::newRow("plain around encoded") << QByteArray("Re: =?ISO-8859-1?Q?K=F6ln?= news") << u8("Re: Köln news");
        QTest::newRow("adjacent words across a fold")
            << QByteArray("=?utf-8?B?U3Vic2NyaWJl?=\r\n =?utf-8?B?IG5ld3M=?=") << u8("Subscribe news");
        QTest::newRow("character split across words") << QByteArray("=?UTF-8?B?S8O=?= =?UTF-8?B?tmxu?=") << u8("Köln");
        QTest::newRow("latin-1 label, windows bytes") << QByteArray("=?iso-8859-1?Q?=93Hi=94_=80?=") << u8("“Hi” €");
        QTest::newRow("language suffix") << QByteArray("=?utf-8*en?q?Hello?=") << u8("Hello");
        QTest::newRow("unknown charset") << QByteArray("=?x-bogus?q?Caf=C3=A9?=") << u8("Café");
        QTest::newRow("broken base64") << QByteArray("=?utf-8?b?c3Vic2Ny*aWJl?=") << u8("subscribe");
        QTest::newRow("broken QP") << QByteArray("=?utf-8?q?a=ZZb=?=") << u8("a=ZZb=");
        QTest::newRow("unclosed word stays as written") << QByteArray("=?utf-8?q?abc def") << u8("=?utf-8?q?abc def");
        QTest::newRow("unclosed word before a good one")
            << QByteArray("=?utf-8?q?abc =?utf-8?q?d=C3=A9f?=") << u8("=?utf-8?q?abc déf");
        QTest::newRow("blanks inside a word") << QByteArray("=?iso-8859-1?q?caf=E9 au lait?=") << u8("café au lait");
        QTest::newRow("encoded line breaks") << QByteArray("=?utf-8?q?a=0D=0Ab=0Ac?=") << u8("a b c");
        QTest::newRow("raw 8-bit latin-1") << QByteArray("caf\xe9") << u8("café");
        QTest::newRow("raw UTF-8") << QByteArray("caf\xc3\xa9") << u8("café");
    }
    void subjects()
    {
        QFETCH(QByteArray, header);
        QFETCH(QString, subject);
        const QByteArray raw = "From: a@example.org\r\nSubject: " + header + "\r\n\r\nbody\r\n";
        QCOMPARE(MailMessage::fromBytes(raw).subject(), subject);
    }

    void hugeHeaderOfUnclosedWords()
    {
        // Two million characters that all look like the start of an encoded word.
        const QByteArray header = QByteArray("=?utf-8?q?x ").repeated(200000);
        const MailMessage m = MailMessage::fromBytes("Subject: " + header + "\r\n\r\nsubscribe\r\n");
        QCOMPARE(m.subject(), QString::fromLatin1(header.trimmed()));
        QCOMPARE(m.body(), u8("subscribe\r\n"));
    }

    void addresses_data()
    {
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QList<MailAddress>>("expected");
        QTest::newRow("adjacent base64 words in a name")
            << QByteArray("=?UTF-8?B?SsO8cmdlbg==?= =?UTF-8?B?IE3DvGxsZXI=?= <j.mueller@example.de>")
            << QList<MailAddress>{mailbox("Jürgen Müller", "j.mueller@example.de")};
        QTest::newRow("encoded word inside quotes") << QByteArray("\"=?iso-8859-1?Q?Ren=E9?=\" <rene@example.fr>")
                                                    << QList<MailAddress>{mailbox("René", "rene@example.fr")};
        QTest::newRow("quoted name with comma and escape")
            << QByteArray("\"Doe, \\\"JD\\\" John\" <jd@example.org>, x@example.org")
            << QList<MailAddress>{mailbox("Doe, \"JD\" John", "jd@example.org"), mailbox("", "x@example.org")};
        QTest::newRow("unquoted comma in a name") << QByteArray("Bloggs, Joe <joe@example.org>")
                                                  << QList<MailAddress>{mailbox("Bloggs, Joe", "joe@example.org")};
        QTest::newRow("name in a comment") << QByteArray("joe@example.org (Joe (the) Bloggs)")
                                           << QList<MailAddress>{mailbox("Joe (the) Bloggs", "joe@example.org")};
        QTest::newRow("group") << QByteArray("Team: a@example.org, B <b@example.org>;, c@example.org")
                               << QList<MailAddress>{mailbox("", "a@example.org"), mailbox("B", "b@example.org"),
                                                     mailbox("", "c@example.org")};
        QTest::newRow("empty group") << QByteArray("undisclosed-recipients:;") << QList<MailAddress>{};
        QTest::newRow("source route and blanks") << QByteArray("Joe < @relay.example.net:joe @ example.org >")
                                                 << QList<MailAddress>{mailbox("Joe", "joe@example.org")};
        QTest::newRow("local address") << QByteArray("root") << QList<MailAddress>{mailbox("", "root")};
        QTest::newRow("name without address")
            << QByteArray("Joe Bloggs") << QList<MailAddress>{mailbox("Joe Bloggs", "")};
        QTest::newRow("unclosed angle") << QByteArray("Joe <joe@example.org")
                                        << QList<MailAddress>{mailbox("Joe", "joe@example.org")};
        QTest::newRow("empty") << QByteArray(" ") << QList<MailAddress>{};
    }
    void addresses()
    {
        QFETCH(QByteArray, to);
        QFETCH(QList<MailAddress>, expected);
        const MailMessage m = MailMessage::fromBytes("From: " + to + "\r\nTo: " + to + "\r\n\r\n");
        QCOMPARE(m.recipients(), expected);
        QCOMPARE(m.from(), expected.value(0));
    }

    void recipientsToThenCc()
    {
        const MailMessage m = MailMessage::fromBytes("Cc: c1@example.org\r\nTo: t1@example.org,\r\n"
                                                     " t2@example.org\r\nCc: c2@example.org\r\n"
                                                     "To: t3@example.org\r\n\r\n");
        QStringList got;
        for (const MailAddress &a : m.recipients())
            got << a.address;
        QCOMPARE(got, (QStringList{u8("t1@example.org"), u8("t2@example.org"), u8("t3@example.org"),
                                   u8("c1@example.org"), u8("c2@example.org")}));
    }

    void replyToBeforeFrom_data()
    {
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<MailAddress>("replyTo");
        QTest::newRow("reply-to wins") << QByteArray(
            "From: Anna <anna@example.org>\r\nReply-To: List <list@example.net>, x@example.org\r\n")
                                       << mailbox("List", "list@example.net");
        QTest::newRow("empty reply-to falls back")
            << QByteArray("From: Anna <anna@example.org>\r\nReply-To: \r\n") << mailbox("Anna", "anna@example.org");
        QTest::newRow("reply-to without an address falls back")
            << QByteArray("Reply-To: (nobody)\r\nFrom: Anna <anna@example.org>\r\n")
            << mailbox("Anna", "anna@example.org");
        QTest::newRow("no sender at all") << QByteArray("To: x@example.org\r\n") << MailAddress();
    }
    void replyToBeforeFrom()
    {
        QFETCH(QByteArray, headers);
        QFETCH(MailAddress, replyTo);
        QCOMPARE(MailMessage::fromBytes(headers + "Subject: s\r\n\r\nb\r\n").replyTo(), replyTo);
    }

    void sentOn_data()
    {
        QTest::addColumn<QByteArray>("date");
        QTest::addColumn<QDateTime>("utc");
        QTest::newRow("zone west") << QByteArray("Date: Mon, 1 Jan 2024 23:30:00 -0500\r\n")
                                   << QDateTime(QDate(2024, 1, 2), QTime(4, 30), Qt::UTC);
        QTest::newRow("missing") << QByteArray() << QDateTime();
        QTest::newRow("garbage") << QByteArray("Date: next Tuesday-ish\r\n") << QDateTime();
    }
    void sentOn()
    {
        QFETCH(QByteArray, date);
        QFETCH(QDateTime, utc);
        const QDateTime got = MailMessage::fromBytes("From: a@example.org\r\n" + date + "\r\nb\r\n").sentOn();
        QCOMPARE(got.isValid(), utc.isValid());
        if (utc.isValid())
            QCOMPARE(got.toUTC(), utc);
    }

    // The common form is read without the MIME library; every row agrees
    // with what that library makes of it.
    void parseDate_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qint64>("seconds"); // the minimum: invalid
        constexpr qint64 Invalid = std::numeric_limits<qint64>::min();
        QTest::newRow("common") << QByteArray("Tue, 12 Mar 2024 09:15:00 +0100") << qint64(1710231300);
        QTest::newRow("wrong weekday ignored") << QByteArray("Mon, 12 Mar 2024 09:15:00 +0100") << qint64(1710231300);
        QTest::newRow("no weekday, no seconds") << QByteArray("12 Mar 2024 09:15 -0530") << qint64(1710254700);
        QTest::newRow("one-digit day, far east") << QByteArray("Tue, 5 Mar 2024 23:59:59 +1400") << qint64(1709632799);
        QTest::newRow("one minute west") << QByteArray("5 Mar 2024 10:00:00 -0001") << qint64(1709632860);
        QTest::newRow("epoch") << QByteArray("Thu, 1 Jan 1970 00:00:00 -0000") << qint64(0);
        QTest::newRow("last year") << QByteArray("31 Dec 9999 23:59:59 +0000") << qint64(253402300799);
        QTest::newRow("30 February") << QByteArray("Fri, 30 Feb 2024 10:00:00 +0000") << Invalid;
        QTest::newRow("29 February, no leap year") << QByteArray("Wed, 29 Feb 2023 10:00:00 +0000") << Invalid;
        QTest::newRow("hour 24") << QByteArray("Tue, 12 Mar 2024 24:00:00 +0000") << Invalid;
        QTest::newRow("second 60") << QByteArray("Tue, 12 Mar 2024 09:15:60 +0000") << Invalid;
        QTest::newRow("before 1969") << QByteArray("1 Jan 1968 00:00:00 +0000") << Invalid;
        QTest::newRow("late 1969") << QByteArray("31 Dec 1969 23:00:00 +0000") << qint64(-3600);
        QTest::newRow("zone minutes 60") << QByteArray("Tue, 12 Mar 2024 09:15:00 +0160") << qint64(1710234900);
        QTest::newRow("lower-case month") << QByteArray("Tue, 12 mar 2024 09:15:00 +0100") << qint64(1710231300);
        QTest::newRow("zone comment") << QByteArray("Tue, 12 Mar 2024 09:15:00 +0100 (CET)") << qint64(1710231300);
        QTest::newRow("two-digit year") << QByteArray("5 Mar 24 10:00:00 +0000") << qint64(1709632800);
    }
    void parseDate()
    {
        QFETCH(QByteArray, text);
        QFETCH(qint64, seconds);
        const QDateTime utc = MailMessage::parseDate(text, Qt::UTC);
        const QDateTime local = MailMessage::parseDate(text);
        QCOMPARE(utc.isValid(), seconds != std::numeric_limits<qint64>::min());
        QCOMPARE(local.isValid(), utc.isValid());
        if (!utc.isValid())
            return;
        QCOMPARE(utc.toSecsSinceEpoch(), seconds);
        QCOMPARE(local.toSecsSinceEpoch(), seconds);
        QCOMPARE(local.timeSpec(), Qt::LocalTime);
    }

    void notProperMessages_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("body");
        QTest::newRow("empty") << QByteArray() << QString() << QString();
        QTest::newRow("binary junk") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe", 18) << QString()
                                     << QString();
        QTest::newRow("no headers") << QByteArray("subscribe me\nnews\n") << QString()
                                    << u8("subscribe me\r\nnews\r\n");
        QTest::newRow("no From, no Date")
            << QByteArray("Subject: hi\r\n\r\nunsubscribe\r\n") << u8("hi") << u8("unsubscribe\r\n");
        QTest::newRow("mbox separator line") << QByteArray("From MAILER-DAEMON Fri Apr 06 16:46:09 2001\n"
                                                           "Subject: Returned mail\n\nbounce\n")
                                             << u8("Returned mail") << u8("bounce\r\n");
        QTest::newRow("headers only") << QByteArray("Subject: hi\r\nX-Mailer: m") << u8("hi") << QString();
    }
    void notProperMessages()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, subject);
        QFETCH(QString, body);
        const MailMessage m = MailMessage::fromBytes(raw);
        QCOMPARE(m.subject(), subject);
        QCOMPARE(m.body(), body);
        QVERIFY(!m.sentOn().isValid());
        QCOMPARE(m.replyTo(), MailAddress());
    }

    void fromFile()
    {
        TestEnv env;
        const QString path = QDir(env.root()).filePath(QStringLiteral("1710231300.M1P2.host:2,S"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kPlain);
        f.close();
        const MailMessage m = MailMessage::fromFile(path);
        QCOMPARE(m.body(), MailMessage::fromBytes(kPlain).body());
        QCOMPARE(m.subject(), u8("subscribe news"));

        for (const QString &unreadable : {QDir(env.root()).filePath(QStringLiteral("vanished")), env.home()}) {
            try {
                MailMessage::fromFile(unreadable);
                QFAIL("no error for an unreadable file");
            } catch (const MessageReadError &e) {
                QVERIFY2(e.message().contains(unreadable), qPrintable(e.message()));
                QCOMPARE(QString::fromUtf8(e.what()), e.message());
            }
        }
    }

    void largeMessage()
    {
        TestEnv env;
        QByteArray attachment(15 * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator generator(7);
        generator.fillRange(reinterpret_cast<quint32 *>(attachment.data()), attachment.size() / 4);
        QByteArray encoded = attachment.toBase64();
        QByteArray wrapped;
        wrapped.reserve(encoded.size() + encoded.size() / 38);
        for (qsizetype i = 0; i < encoded.size(); i += 76)
            wrapped += encoded.mid(i, 76) + "\r\n";
        const QByteArray line = "a line of the quoted message with an address x@example.org\n";
        const QByteArray text = "subscribe\n" + line.repeated(5 * 1024 * 1024 / line.size());
        const QByteArray raw = "From: a@example.org\r\nSubject: big\r\nMIME-Version: 1.0\r\n"
                               "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                               "--b\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n"
                               + text
                               + "--b\r\nContent-Type: application/octet-stream\r\n"
                                 "Content-Disposition: attachment; filename=\"big.bin\"\r\n"
                                 "Content-Transfer-Encoding: base64\r\n\r\n"
                               + wrapped + "--b--\r\n";
        QVERIFY(raw.size() > 20 * 1000 * 1000);
        const QString path = QDir(env.root()).filePath(QStringLiteral("big"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(raw), raw.size());
        f.close();

        const MailMessage m = MailMessage::fromFile(path);
        QCOMPARE(m.subject(), u8("big"));
        // The break before a boundary belongs to the boundary.
        QString expected = QString::fromUtf8(text.chopped(1));
        expected.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        QCOMPARE(m.body().size(), expected.size());
        QVERIFY(m.body() == expected);
    }

    // Debian's libpython3.11-testsuite: real and deliberately broken messages.
    void realWorldCorpus()
    {
        const QDir dir(QStringLiteral("/usr/lib/python3.11/test/test_email/data"));
        const QStringList files = dir.entryList({QStringLiteral("msg_*.txt")}, QDir::Files, QDir::Name);
        if (files.isEmpty())
            QSKIP("the e-mail test messages of libpython3.11-testsuite are not installed");
        int withSubject = 0;
        for (const QString &name : files) {
            const MailMessage m = MailMessage::fromFile(dir.filePath(name));
            QVERIFY2(isCleanText(m.body()), qPrintable(name));
            QVERIFY2(m.subject().isValidUtf16(), qPrintable(name));
            QVERIFY2(!m.subject().contains(u'\n') && !m.subject().contains(u'\r'), qPrintable(name));
            withSubject += m.subject().isEmpty() ? 0 : 1;
        }
        QVERIFY(withSubject > files.size() / 2);
    }
};

QTEST_GUILESS_MAIN(TestMailMessage)
#include "tst_mailmessage.moc"
