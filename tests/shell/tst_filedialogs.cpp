// The program's file dialogs list the program folder while the list file is
// open, and the locks this process holds on it survive: another process that
// opens and closes the list afterwards cannot take the write-ahead log away.
#include "testlib/ModalDriver.h"
#include "testlib/ScriptedPrompts.h"
#include "testlib/TestEnv.h"

#include "core/LockedFiles.h"
#include "core/TextFile.h"
#include "shell/QtPrompts.h"
#include "store/Importfile.h"
#include "store/MLSchema.h"
#include "store/MLTable.h"
#include "store/exportlist.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <memory>

class TestFileDialogs : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    QString m_list;
    std::unique_ptr<MLTable> m_table;

    // What a second copy of the program or the sqlite3 tool does: open the
    // list, read it and close it. As the last user of the list it would
    // checkpoint and delete the log; while we hold our locks it must not.
    void otherProcessReadsList()
    {
        QProcess tool;
        tool.start(QStringLiteral("sqlite3"), {m_list, QStringLiteral("SELECT count(*) FROM mailist;")});
        QVERIFY(tool.waitForFinished(10000));
        QCOMPARE(tool.exitCode(), 0);
        QCOMPARE(tool.readAllStandardOutput().trimmed(), QByteArray("1"));
    }

private Q_SLOTS:
    void init()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
            QSKIP("the sqlite3 tool is not installed");
        m_list = m_env.programDir() + MLTable::defaultFileName();
        QFile::remove(m_list);
        createMailingListFile(m_list);
        m_table = std::make_unique<MLTable>();
        m_table->setFilePath(m_list);
        m_table->open();
        m_table->append(QStringLiteral("ann@example.org"), QStringLiteral("news"), 0, QString());
        QVERIFY(QFileInfo::exists(m_list + QStringLiteral("-wal")));
    }

    void cleanup() { m_table.reset(); }

    void dialogKeepsListLocks_data()
    {
        QTest::addColumn<bool>("save");
        QTest::newRow("open") << false;
        QTest::newRow("save") << true;
    }

    void dialogKeepsListLocks()
    {
        QFETCH(bool, save);
        otherProcessReadsList();
        QVERIFY2(QFileInfo::exists(m_list + QStringLiteral("-wal")), "the locks do not hold even without a dialog");

        const int files = QDir(m_env.programDir()).entryList(QDir::Files).size();
        bool listed = false;
        ModalDriver driver;
        driver.expect<QFileDialog>([&](QFileDialog *dialog) {
            auto *model = dialog->findChild<QFileSystemModel *>();
            // Waits until every file's type has been worked out, which is
            // when Qt's own provider would have opened each of them.
            listed = model && QTest::qWaitFor([&] {
                         const QModelIndex root = model->index(m_env.programDir());
                         if (model->rowCount(root) != files)
                             return false;
                         for (int row = 0; row < files; ++row) {
                             const QModelIndex item = model->index(row, 0, root);
                             model->data(item, Qt::DecorationRole);
                             if (model->type(item).isEmpty())
                                 return false;
                         }
                         return true;
                     });
            dialog->reject();
        });
        QtPrompts prompts;
        const QString picked = save ? prompts.saveFileName(QStringLiteral("Save As"), QString(), m_env.programDir())
                                    : prompts.openFileName(QStringLiteral("Open"), QString(), m_list);
        QVERIFY(driver.done());
        QVERIFY(listed);
        QVERIFY(picked.isEmpty());

        otherProcessReadsList();
        QVERIFY2(QFileInfo::exists(m_list + QStringLiteral("-wal")), "the dialog dropped the list file's locks");
        m_table->append(QStringLiteral("bob@example.org"), QStringLiteral("news"), 0, QString());
        QCOMPARE(m_table->recordCount(), 2);
    }

    // Nothing else in the program may open the list or its companions, by
    // whatever name the user reaches them.
    void listFileIsLockedByAnyName()
    {
        const QString link = m_env.root() + QStringLiteral("/link.DAT");
        QVERIFY(QFile::link(m_list, link));
        for (const QString &name : {m_list, m_list + QStringLiteral("-wal"), m_list + QStringLiteral("-shm"), link,
                                    m_env.programDir() + QStringLiteral("../program/mailist.DAT")})
            QVERIFY2(lockedfiles::contains(name), qPrintable(name));
        QVERIFY(!lockedfiles::contains(m_env.programDir() + QStringLiteral("log.txt")));

        QString error;
        QVERIFY(!textfile::writeLines(link, {QStringLiteral("x")}, &error));
        QCOMPARE(error, QStringLiteral("%1 is the mailing-list file the program has open.").arg(link));
        QVERIFY(!ImportLines::fromFile(m_list + QStringLiteral("-wal"), &error));
        QCOMPARE(error,
                 QStringLiteral("it is the mailing-list file the program has open, or one of its working files"));
        ScriptedPrompts prompts;
        QVERIFY(!exportlist(*m_table, prompts, {}, link, true, true, true, QStringLiteral(",")));
        QCOMPARE(prompts.warnings().size(), 1);
        QVERIFY(
            prompts.warnings().constFirst().endsWith(QStringLiteral("is the mailing-list file the program has open.")));
        QCOMPARE(m_table->recordCount(), 1);
        m_table.reset();
        QVERIFY(!lockedfiles::contains(m_list));
    }
};

QTEST_MAIN(TestFileDialogs)
#include "tst_filedialogs.moc"
