// The folder check over messages nobody here wrote: the e-mail test messages
// of Python's test suite and a collection of real delivery-failure notices,
// both installed from Debian packages.
#include "core/AsciiCase.h"
#include "intake/FolderCheck.h"
#include "intake/extractemailaddresses.h"
#include "platform/outlook/MailMessage.h"
#include "store/ListWorkspace.h"
#include "store/MLSchema.h"
#include "store/Validation.h"
#include "testlib/MaildirWriter.h"
#include "testlib/ScriptedPrompts.h"
#include "testlib/TestEnv.h"
#include "testlib/TestText.h"

#include <QTest>

#include <algorithm>

namespace {

const QString List = QStringLiteral("VMailingList");
const QString Bin = QStringLiteral("Deleted Items");
const QString Bounce = QStringLiteral("Update Undeliverable ");

struct Sample
{
    QString file;
    QByteArray raw;
    QString text; // subject and body as decoded
    bool notice = false; // a built-in phrase in the subject
    QStringList addresses; // what a notice must be counted against
    QString path; // in the test store
};

// Read apart from the check: the phrase test and the extraction as the rules
// state them, over the message as the reader decodes it.
Sample examine(const QString &file, const Settings &settings, const RuleLists &lists)
{
    Sample s;
    s.file = file;
    s.raw = readFile(file);
    const auto m = platform::outlook::MailMessage::fromBytes(s.raw);
    const QStringList lines = QStringList{m.subject()} + m.body().split(QStringLiteral("\r\n"));
    s.text = lines.join(QLatin1Char('\n'));
    const QString subject = upperAZ(m.subject());
    const RuleLists builtIn;
    for (const QString &phrase : builtIn.failed.items())
        s.notice = s.notice || (!phrase.isEmpty() && subject.contains(upperAZ(phrase)));
    if (s.notice)
        extractemailaddresses(lines, s.addresses,
                              [&](const QString &a) { return validemailaddress(a, settings, lists); });
    return s;
}

bool occursIn(const Sample &s, const QString &address)
{
    return s.raw.contains(address.toUtf8()) || s.raw.contains(address.toLatin1()) || s.text.contains(address);
}

} // namespace

class TestRealWorld : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void corpus_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("package");
        QTest::addColumn<bool>("scanAll");
        const QString python = QStringLiteral("/usr/lib/python3.11/test/test_email/data");
        const QString notices = QStringLiteral("/usr/lib/python3/dist-packages/flufl/bounce/tests/data");
        for (bool all : {false, true}) {
            const char *lines = all ? ", every line" : ", first lines";
            QTest::addRow("python e-mail tests%s", lines)
                << python << QStringLiteral("msg_*.txt") << QStringLiteral("libpython3.11-testsuite") << all;
            QTest::addRow("delivery-failure notices%s", lines)
                << notices << QStringLiteral("*.txt") << QStringLiteral("python3-flufl.bounce") << all;
        }
    }

    void corpus()
    {
        QFETCH(QString, dir);
        QFETCH(QString, pattern);
        QFETCH(QString, package);
        QFETCH(bool, scanAll);
        const QStringList files = QDir(dir).entryList({pattern}, QDir::Files, QDir::Name);
        if (files.isEmpty())
            QSKIP(qPrintable(QStringLiteral("the messages of %1 are not installed").arg(package)));

        TestEnv env;
        testmail::Store store(env.home() + QStringLiteral("/Maildir"));
        store.create();
        store.addFolder(List);
        const QString listFile = env.programDir() + MLTable::defaultFileName();
        createMailingListFile(listFile);
        ListWorkspace work{QStringList()};
        work.openList(listFile);
        Settings &settings = work.settings;
        settings.FailedMail = true;
        settings.ScanAllEmailLines = scanAll;
        settings.ReadDeliveryReports = false;
        ScriptedPrompts prompts;

        QList<Sample> samples;
        for (int i = 0; i < files.size(); ++i) {
            Sample s = examine(QDir(dir).filePath(files[i]), settings, work.lists);
            s.path = store.deliver(List, s.raw, 1000 + i, i % 2);
            QVERIFY(!s.path.isEmpty());
            samples << s;
        }
        // The check visits the messages oldest received first; the corpus's
        // Received lines set that order, not their files'.
        QList<std::pair<QDateTime, qsizetype>> visits;
        {
            const auto app = platform::outlook::CreateOleObject(QStringLiteral("Outlook.Application"));
            const auto items = app.call(QStringLiteral("GetNameSpace"), {QStringLiteral("MAPI")})
                                   .call(QStringLiteral("Folders"), {QStringLiteral("Personal Folders")})
                                   .call(QStringLiteral("Folders"), {List})
                                   .call(QStringLiteral("Items"));
            for (qsizetype i = 0; i < samples.size(); ++i) {
                const QDateTime t = items.call(QStringLiteral("Item"), {int(i + 1)})
                                        .call(QStringLiteral("ReceivedTime"))
                                        .toDateTime();
                visits.append({t.isValid() ? t.toUTC() : QDateTime(), i});
            }
        }
        std::stable_sort(visits.begin(), visits.end(), [](const auto &x, const auto &y) {
            return x.first.isValid() != y.first.isValid() ? !x.first.isValid() : x.first.isValid() && x.first < y.first;
        });
        FolderCheck(settings, work.lists, work.rules, prompts).run({});
        QVERIFY(prompts.calls().isEmpty());

        // The log, split into bounce lines and entry lines, in visiting order.
        QStringList bounced, entered;
        for (const QString &line : work.log.lines()) {
            if (line.startsWith(Bounce))
                bounced << line.mid(Bounce.size(), line.indexOf(QStringLiteral(" -> ")) - Bounce.size());
            else
                entered << line.section(QLatin1Char(' '), 1, 1);
        }
        int b = 0, e = 0, notices = 0;
        QList<QByteArray> left;
        for (const auto &visit : std::as_const(visits)) {
            const Sample &s = samples[visit.second];
            const bool gone = !QFileInfo::exists(s.path);
            if (gone)
                left << s.raw;
            else
                QVERIFY2(readFile(s.path) == s.raw, qPrintable(s.file));
            if (s.notice) {
                ++notices;
                QVERIFY2(gone, qPrintable(s.file + QStringLiteral(" is a notice and stayed")));
                const QStringList counted = bounced.mid(b, s.addresses.size());
                QVERIFY2(counted == s.addresses,
                         qPrintable(s.file + QStringLiteral(": counted ") + counted.join(QLatin1Char(','))
                                    + QStringLiteral(", expected ") + s.addresses.join(QLatin1Char(','))));
                for (const QString &a : counted)
                    QVERIFY2(occursIn(s, a), qPrintable(s.file + QStringLiteral(": ") + a));
                b += int(s.addresses.size());
            } else if (gone) {
                QVERIFY2(e < entered.size(), qPrintable(s.file + QStringLiteral(" left without a log line")));
                const QString a = entered[e++];
                QVERIFY2(a.isEmpty() || occursIn(s, a), qPrintable(s.file + QStringLiteral(": ") + a));
            }
        }
        QCOMPARE(b, bounced.size());
        QCOMPARE(e, entered.size());
        QCOMPARE(store.contents(Bin), testmail::sorted(left));
        qInfo("%lld messages, %d notices, %lld bounce calls, %lld commands", qlonglong(samples.size()), notices,
              qlonglong(bounced.size()), qlonglong(entered.size()));
    }
};

QTEST_MAIN(TestRealWorld)
#include "tst_realworld.moc"
