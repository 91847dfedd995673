// The log and the error list beside the program, and their journals: every
// new line is in a journal as soon as it is made, a start after a run that
// died recovers the journals' lines, a clean close leaves no journal.
#include "core/LineList.h"
#include "core/TextFile.h"
#include "core/WorkingFiles.h"
#include "testlib/ScriptedPrompts.h"
#include "testlib/TestEnv.h"
#include "testlib/TestText.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// One run of the program: its log and error list as at start, its files.
struct Run
{
    explicit Run(const QString &dir)
        : files(dir, prompts)
    {
        files.load(log, errors);
    }
    ScriptedPrompts prompts;
    LineList log{LineList::logHeader()};
    LineList errors;
    WorkingFiles files;
};

} // namespace

class TestWorkingFiles : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> m_env;
    QString m_dir;

    QString path(const QString &name) const { return QDir(m_dir).filePath(name); }
    QString logJournal() const { return path(WorkingFiles::logFileName() + WorkingFiles::journalSuffix()); }
    QString errorsJournal() const { return path(WorkingFiles::errorsFileName() + WorkingFiles::journalSuffix()); }
    QStringList fileLines(const QString &name) const
    {
        QStringList lines;
        textfile::readLines(path(name), &lines);
        return lines;
    }

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnv>();
        m_dir = m_env->programDir();
    }

    void eachLineIsInTheJournalAsItIsMade()
    {
        Run run(m_dir);
        QVERIFY(!QFileInfo::exists(logJournal()));
        run.log.append(u8("ADD a@example.org Default [x] -> Entered Successfully"));
        QVERIFY(readFile(logJournal()).endsWith("+ADD a@example.org Default [x] -> Entered Successfully\n"));
        run.errors.append(u8("ADD bad Default"));
        QVERIFY(readFile(errorsJournal()).endsWith("+ADD bad Default\n"));
        run.log.append(u8("second"));
        QVERIFY(readFile(logJournal()).endsWith("Entered Successfully\n+second\n"));
        // Nothing is written to the files themselves before the close.
        QVERIFY(!QFileInfo::exists(path(WorkingFiles::logFileName())));
    }

    // The run dies (no close): the next start has every line, writes the
    // files and removes the journals; the formats of the files are as ever.
    void aStartRecoversWhatARunThatDiedLeft()
    {
        QVERIFY(
            textfile::writeLines(path(WorkingFiles::logFileName()), LineList::logHeader() + QStringList{u8("old")}));
        QVERIFY(textfile::writeLines(path(WorkingFiles::errorsFileName()), {u8("ADD old Default")}));
        const QString odd = u8("REMOVE a\\b@example.org [line\r\nbreak\nand tab\t] -> ünïcode");
        const QString oddShown = u8("REMOVE a\\b@example.org [line\\x0d\\x0abreak\\x0aand tab\\x09] -> ünïcode");
        {
            Run run(m_dir);
            run.log.append(u8("first"));
            run.log.append(odd);
            run.errors.append(u8("ADD x Default"));
        } // no save: the window never closed
        QVERIFY(QFileInfo::exists(logJournal()));
        QVERIFY(QFileInfo::exists(errorsJournal()));

        Run next(m_dir);
        QCOMPARE(next.log.lines(), (LineList::logHeader() + QStringList{u8("old"), u8("first"), oddShown}));
        QCOMPARE(next.errors.lines(), (QStringList{u8("ADD old Default"), u8("ADD x Default")}));
        QVERIFY(!QFileInfo::exists(logJournal()));
        QVERIFY(!QFileInfo::exists(errorsJournal()));
        QCOMPARE(fileLines(WorkingFiles::errorsFileName()), next.errors.lines());
        QVERIFY(readFile(path(WorkingFiles::logFileName())).startsWith(QString(63, u'*').toUtf8() + "\r\n"));
        QVERIFY(next.prompts.calls().isEmpty());
    }

    void aCleanCloseLeavesNoJournal()
    {
        {
            Run run(m_dir);
            run.log.append(u8("one"));
            run.errors.append(u8("ADD e Default"));
            QVERIFY(run.files.save(run.log, run.errors));
            QVERIFY(!QFileInfo::exists(logJournal()));
            QVERIFY(!QFileInfo::exists(errorsJournal()));
            // The program goes on (the user stayed after a failed close):
            // later lines start new journals.
            run.log.append(u8("two"));
            QVERIFY(QFileInfo::exists(logJournal()));
            QVERIFY(run.files.save(run.log, run.errors));
        }
        Run next(m_dir);
        QCOMPARE(next.log.lines(), (LineList::logHeader() + QStringList{u8("one"), u8("two")}));
        QCOMPARE(next.errors.lines(), QStringList{u8("ADD e Default")});
    }

    // Killed between writing log.txt and removing its journal: the journal
    // began before the file was written, so its lines are in the file.
    void aJournalOlderThanItsFileIsNotAddedTwice()
    {
        {
            Run run(m_dir);
            run.log.append(u8("once"));
            const QByteArray journal = readFile(logJournal());
            QVERIFY(run.files.save(run.log, run.errors));
            QVERIFY(writeFile(logJournal(), journal));
        }
        Run next(m_dir);
        QCOMPARE(next.log.lines(), LineList::logHeader() + QStringList{u8("once")});
        QVERIFY(!QFileInfo::exists(logJournal()));
    }

    // A group's lines stand only if its change was stored: settled in the
    // journal, or told by the group check when the run died in between.
    void groupsStandWithTheirChange_data()
    {
        QTest::addColumn<QString>("end"); // how the run ended the group
        QTest::addColumn<int>("check"); // what the group check says: 1 stored, 0 not, -1 cannot tell
        QTest::addColumn<QStringList>("log");
        const QStringList both{u8("change"), u8("failure")};
        const QStringList failureOnly{u8("failure")};
        QTest::newRow("stored") << u8("stored") << 0 << both;
        QTest::newRow("undone before the commit") << u8("undone") << 1 << failureOnly;
        QTest::newRow("undone after the journal") << u8("prepared, undone") << 1 << failureOnly;
        QTest::newRow("died before the commit") << u8("died") << 1 << QStringList{};
        QTest::newRow("died while committing, stored") << u8("prepared, died") << 1 << both;
        QTest::newRow("died while committing, not stored") << u8("prepared, died") << 0 << QStringList{};
        QTest::newRow("died while committing, cannot tell") << u8("prepared, died") << -1 << both;
    }

    void groupsStandWithTheirChange()
    {
        QFETCH(QString, end);
        QFETCH(int, check);
        QFETCH(QStringList, log);
        QStringList shown;
        {
            Run run(m_dir);
            run.log.append(u8("before"));
            run.log.beginGroup("0a1b");
            run.log.append(u8("change"));
            run.log.append(u8("failure"), LineList::Keep::Always);
            QCOMPARE(run.log.size(), 4); // held back
            if (end.startsWith(u8("prepared")))
                run.log.prepareGroup();
            if (end.endsWith(u8("stored")))
                run.log.endGroup(true);
            else if (end.endsWith(u8("undone")))
                run.log.endGroup(false);
            shown = run.log.lines().mid(3);
            if (!end.endsWith(u8("died")))
                run.log.append(u8("after"));
        } // a run that died in the group never ended it
        if (!end.endsWith(u8("died")))
            QCOMPARE(shown, QStringList{u8("before")} + log);

        ScriptedPrompts prompts;
        LineList log2{LineList::logHeader()};
        LineList errors2;
        QByteArray asked;
        log2.setGroupCheck([&](const QByteArray &tag) -> std::optional<bool> {
            asked = tag;
            if (check < 0)
                return std::nullopt;
            return check == 1;
        });
        WorkingFiles files(m_dir, prompts);
        files.load(log2, errors2);
        QStringList expected = LineList::logHeader() + QStringList{u8("before")} + log;
        if (!end.endsWith(u8("died")))
            expected << u8("after");
        QCOMPARE(log2.lines(), expected);
        QCOMPARE(asked, end == u8("prepared, died") ? QByteArray("0a1b") : QByteArray());
    }

    // A control character from an address or a comment shows as \xHH in
    // the journals, the files and the lists: raw, a NUL makes log.txt a
    // binary file and a line break splits one line into two.
    void controlCharactersAreWrittenVisibly_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("shown");
        QTest::newRow("NUL") << u8("ADD n") + QChar(0) + u8("ul@example.org Default")
                             << u8("ADD n\\x00ul@example.org Default");
        QTest::newRow("bell") << u8("ADD \a@iana.org Default") << u8("ADD \\x07@iana.org Default");
        QTest::newRow("escape and DEL") << u8("ADD a\x1b[2Jb\x7f@example.org") << u8("ADD a\\x1b[2Jb\\x7f@example.org");
        QTest::newRow("C1 next line") << u8("ADD a\u0085b@example.org") << u8("ADD a\\x85b@example.org");
        QTest::newRow("tab") << u8("ADD a\tb@example.org") << u8("ADD a\\x09b@example.org");
        QTest::newRow("line breaks") << u8("ADD a\r\nb\nc@example.org") << u8("ADD a\\x0d\\x0ab\\x0ac@example.org");
        QTest::newRow("printable text as it is") << u8("ADD a\\x00b@example.org [ünï\u00a0code] -> ok")
                                                 << u8("ADD a\\x00b@example.org [ünï\u00a0code] -> ok");
    }
    void controlCharactersAreWrittenVisibly()
    {
        QFETCH(QString, raw);
        QFETCH(QString, shown);
        auto hasRawControls = [](const QByteArray &bytes) {
            for (const char c : bytes) {
                const auto b = static_cast<unsigned char>(c);
                if ((b < 0x20 && b != '\r' && b != '\n') || b == 0x7f)
                    return true;
            }
            return bytes.contains("\xC2\x85");
        };
        {
            Run run(m_dir);
            run.log.append(raw);
            run.errors.append(raw);
            run.log.beginGroup("0a1b");
            run.log.append(raw);
            run.log.prepareGroup();
            QCOMPARE(run.log.lines(), LineList::logHeader() + QStringList{shown});
            QCOMPARE(run.errors.lines(), QStringList{shown});
            for (const QString &journal : {logJournal(), errorsJournal()}) {
                const QByteArray bytes = readFile(journal);
                QVERIFY2(!hasRawControls(bytes), bytes.constData());
                QVERIFY2(bytes.contains(shown.toUtf8().replace("\\", "\\\\")), bytes.constData());
            }
        } // died with the group in doubt; it stands
        Run next(m_dir);
        QCOMPARE(next.log.lines(), (LineList::logHeader() + QStringList{shown, shown}));
        QCOMPARE(next.errors.lines(), QStringList{shown});
        QVERIFY(next.files.save(next.log, next.errors));
        for (const QString &name : {WorkingFiles::logFileName(), WorkingFiles::errorsFileName()}) {
            const QByteArray bytes = readFile(path(name));
            QVERIFY2(!hasRawControls(bytes), bytes.constData());
        }
        QCOMPARE(fileLines(WorkingFiles::errorsFileName()), QStringList{shown});
    }

    // Lines an older copy of the program wrote raw are shown and written
    // visibly from the next start on.
    void rawLinesOfAnOlderLogAreShownVisibly()
    {
        QVERIFY(writeFile(path(WorkingFiles::errorsFileName()), QByteArray("ADD \a@iana.org Default\r\nADD ok\r\n")));
        Run run(m_dir);
        QCOMPARE(run.errors.lines(), (QStringList{u8("ADD \\x07@iana.org Default"), u8("ADD ok")}));
        QVERIFY(run.files.save(run.log, run.errors));
        QCOMPARE(readFile(path(WorkingFiles::errorsFileName())),
                 QByteArray("ADD \\x07@iana.org Default\r\nADD ok\r\n"));
    }

    // A record cut short by the end of the run is no line.
    void aTornRecordIsIgnored()
    {
        {
            Run run(m_dir);
            run.log.append(u8("whole"));
        }
        QFile journal(logJournal());
        QVERIFY(journal.open(QIODevice::Append));
        journal.write("+cut sho");
        journal.close();
        Run next(m_dir);
        QCOMPARE(next.log.lines(), LineList::logHeader() + QStringList{u8("whole")});
    }

    // log.txt cannot be read (here: a directory stands there): it is never
    // replaced, the run's lines go to log.txt.new at the close, and until
    // then the journal keeps them across runs that die.
    void aFileThatCannotBeWrittenKeepsItsJournal()
    {
        QVERIFY(QDir().mkdir(path(WorkingFiles::logFileName())));
        {
            Run run(m_dir);
            QCOMPARE(run.prompts.warnings().size(), 1);
            run.log.append(u8("kept"));
        }
        {
            Run run(m_dir);
            QCOMPARE(run.log.lines(), LineList::logHeader() + QStringList{u8("kept")});
            QVERIFY(QFileInfo::exists(logJournal()));
            run.log.append(u8("more"));
        }
        Run last(m_dir);
        QCOMPARE(last.log.lines(), (LineList::logHeader() + QStringList{u8("kept"), u8("more")}));
        QVERIFY(last.files.save(last.log, last.errors));
        QCOMPARE(fileLines(WorkingFiles::logFileName() + u8(".new")), last.log.lines());
        QVERIFY(!QFileInfo::exists(logJournal()));
    }

    // The close cannot write errors.txt and the user closes anyway: the
    // lines stay in the journal for the next start, as the question says.
    void closingAnywayKeepsTheJournal()
    {
        {
            Run run(m_dir);
            run.errors.append(u8("ADD kept Default"));
            QVERIFY(QDir().mkdir(path(WorkingFiles::errorsFileName()))); // writing fails now
            run.prompts.queueConfirm(Prompts::Answer::Yes);
            QVERIFY(run.files.save(run.log, run.errors));
            const QStringList asked = run.prompts.texts(ScriptedPrompts::Kind::Confirm);
            QCOMPARE(asked.size(), 1);
            QVERIFY2(asked.first().contains(errorsJournal()), qPrintable(asked.first()));
        }
        QVERIFY(QDir().rmdir(path(WorkingFiles::errorsFileName())));
        Run next(m_dir);
        QCOMPARE(next.errors.lines(), QStringList{u8("ADD kept Default")});
    }
};

QTEST_GUILESS_MAIN(TestWorkingFiles)
#include "tst_workingfiles.moc"
