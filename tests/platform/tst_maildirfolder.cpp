// The one folder creator under the set-up tool, the mail client objects and
// the mail library: what it makes, what it leaves alone, and what it reports.
#include "platform/maildir/MaildirFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#include <sys/stat.h>

using platform::maildir::FolderKind;
using platform::maildir::makeFolder;

namespace {

int modeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

class TestMaildirFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void createsWhatIsMissing_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("subfolder");
        // Made beforehand, blank-separated: a trailing slash marks a directory, else a file.
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("failed");
        QTest::addColumn<bool>("marker");

        QTest::newRow("new subfolder") << ".Box" << true << "" << 0 << "" << true;
        QTest::newRow("new inbox, unmarked") << "Maildir" << false << "" << 0 << "" << false;
        QTest::newRow("someone else's folder is completed, not marked")
            << ".Box" << true << ".Box/ .Box/cur/ .Box/cur/1.M1P1.host:2,S" << 0 << "" << false;
        QTest::newRow("file where the folder goes") << ".Box" << true << ".Box" << ENOTDIR << ".Box" << false;
        QTest::newRow("file where new/ goes") << ".Box" << true << ".Box/ .Box/new" << ENOTDIR << ".Box/new" << false;
        QTest::newRow("missing parent is not made") << "gone/.Box" << true << "" << ENOENT << "gone/.Box" << false;
    }

    void createsWhatIsMissing()
    {
        QFETCH(QString, folder);
        QFETCH(bool, subfolder);
        QFETCH(QString, before);
        QFETCH(int, error);
        QFETCH(QString, failed);
        QFETCH(bool, marker);

        QTemporaryDir tmp;
        const QDir base(tmp.path());
        const QStringList existing = before.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString &entry : existing) {
            if (entry.endsWith(QLatin1Char('/'))) {
                QVERIFY(base.mkpath(entry));
            } else {
                QFile file(base.filePath(entry));
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write("x");
            }
        }
        const QString dir = base.filePath(folder);
        const QString parent = QFileInfo(dir).path();
        const bool parentExisted = QFileInfo::exists(parent);

        QString failedPath;
        QCOMPARE(makeFolder(dir, subfolder ? FolderKind::Subfolder : FolderKind::Inbox, &failedPath), error);
        QCOMPARE(failedPath, failed.isEmpty() ? QString() : base.filePath(failed));
        QCOMPARE(QFileInfo::exists(dir + QStringLiteral("/maildirfolder")), marker);
        QCOMPARE(QFileInfo::exists(parent), parentExisted);
        for (const QString &entry : existing)
            QCOMPARE(QFileInfo(base.filePath(entry)).isDir(), entry.endsWith(QLatin1Char('/')));
        // What is made here is private to the user; what was there keeps its mode.
        for (const QString &sub : {QString(), QStringLiteral("/tmp"), QStringLiteral("/new"), QStringLiteral("/cur")}) {
            if (error != 0) {
                QVERIFY(!QFileInfo::exists(dir + QStringLiteral("/cur")));
                break;
            }
            QVERIFY(QFileInfo(dir + sub).isDir());
            if (!existing.contains(folder + sub + QLatin1Char('/')))
                QCOMPARE(modeOf(dir + sub), 0700);
        }
    }
};

QTEST_GUILESS_MAIN(TestMaildirFolder)
#include "tst_maildirfolder.moc"
