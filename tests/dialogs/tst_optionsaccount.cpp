// The options' Mail Account page against a real Dovecot: "Test Connection"
// meets a self-signed certificate, shows its fingerprint, and once trusted
// for this server connects; a typed password is kept for the run when no
// secret store answers.
#include "core/MailAccountSetting.h"
#include "core/Settings.h"
#include "dialogs/optionsAccount.h"
#include "testlib/DovecotServer.h"
#include "testlib/MaildirWriter.h"
#include "testlib/ScriptedPrompts.h"
#include "testlib/TestEnv.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

using Kind = ScriptedPrompts::Kind;

class TestOptionsAccount : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void trustThenConnect()
    {
        TestEnv env;
        testmail::DovecotServer server;
        QVERIFY(server.prepare());
        testmail::Store(server.mailRoot()).addFolder(QStringLiteral("Trash"));
        QVERIFY2(server.start(), qPrintable(server.error()));
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");

        Settings settings;
        ScriptedPrompts prompts;
        TMailAccountPage page(settings, prompts);
        page.showValues();
        QVERIFY(page.rdbLocalStore->isChecked());
        QVERIFY(!page.grpImap->isEnabled());
        page.rdbImapAccount->click();
        QCOMPARE(settings.MailAccount, QStringLiteral("IMAP"));
        QCOMPARE(page.spnPort->value(), 993);
        QTest::keyClicks(page.edtServer, server.host());
        page.spnPort->setValue(server.imapsPort());
        QTest::keyClicks(page.edtUser, server.user());
        QTest::keyClicks(page.edtPassword, server.password());

        // Declined: nothing is trusted.
        prompts.queueConfirm(Prompts::Answer::No);
        page.btnTestConnection->click();
        QCOMPARE(prompts.texts(Kind::Confirm).size(), 1);
        const QString question = prompts.texts(Kind::Confirm).first();
        QVERIFY2(question.contains(QStringLiteral("SHA-256")) && question.contains(QStringLiteral("quillmar-test")),
                 qPrintable(question));
        QVERIFY(settings.ImapTrustedCertificate.isEmpty());

        prompts.queueConfirm(Prompts::Answer::Yes);
        page.btnTestConnection->click();
        QCOMPARE(prompts.texts(Kind::Information), QStringList{QStringLiteral("Connected: 2 folders")});
        QVERIFY(settings.ImapTrustedCertificate.startsWith(server.host() + u':'));

        // OK keeps the typed password, here for this run only, and says so.
        page.apply();
        QCOMPARE(prompts.texts(Kind::Information).size(), 2);
        QCOMPARE(mailaccount::storedPassword(settings), server.password());
        QVERIFY(page.edtPassword->text().isEmpty());
    }
};

QTEST_MAIN(TestOptionsAccount)
#include "tst_optionsaccount.moc"
