#include "dialogs/optionsAccount.h"

#include "commands/AccountTest.h"
#include "core/MailAccountSetting.h"
#include "core/Prompts.h"
#include "core/Settings.h"
#include "dialogs/SendingAccountBox.h"
#include "dialogs/WaitCursor.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

template<typename W> W *named(W *w, const char *name, const QString &hint = {})
{
    w->setObjectName(QString::fromLatin1(name));
    if (!hint.isEmpty())
        w->setToolTip(hint);
    return w;
}

constexpr int ImapsPort = 993;
constexpr int ImapPort = 143;

} // namespace

TMailAccountPage::TMailAccountPage(Settings &settings, Prompts &prompts, QWidget *parent)
    : QWidget(parent)
    , m_settings(settings)
    , m_prompts(prompts)
{
    // Reading on the left, sending on the right: stacked, the page would
    // outgrow a small screen at a large font.
    auto *columns = new QHBoxLayout(this);
    auto *v = new QVBoxLayout;
    columns->addLayout(v, 1);
    auto *store = new QGroupBox(QStringLiteral("Where the mail is read"), this);
    auto *sv = new QVBoxLayout(store);
    rdbLocalStore = named(new QRadioButton(QStringLiteral("Local mail store"), store), "rdbLocalStore",
                          QStringLiteral("Read the mail folders of the mail store on this computer"));
    sv->addWidget(rdbLocalStore);
    edtStoreFolder = named(new QLineEdit(store), "edtStoreFolder",
                           QStringLiteral("The folder of the local mail store; empty for ~/Maildir"));
    edtStoreFolder->setPlaceholderText(QStringLiteral("~/Maildir"));
    sv->addWidget(edtStoreFolder);
    rdbImapAccount = named(new QRadioButton(QStringLiteral("IMAP account"), store), "rdbImapAccount",
                           QStringLiteral("Read the folders of a mail account on a server; contacts stay in the "
                                          "local mail store"));
    sv->addWidget(rdbImapAccount);
    v->addWidget(store);

    grpImap = named(new QGroupBox(QStringLiteral("IMAP account"), this), "grpImap");
    auto *form = new QFormLayout(grpImap);
    edtServer = named(new QLineEdit(grpImap), "edtServer", QStringLiteral("The name of the mail server"));
    form->addRow(QStringLiteral("Server:"), edtServer);
    spnPort = named(new QSpinBox(grpImap), "spnPort");
    spnPort->setRange(1, 65535);
    form->addRow(QStringLiteral("Port:"), spnPort);
    cmbSecurity = named(new QComboBox(grpImap), "cmbSecurity",
                        QStringLiteral("None is accepted only for a server on this computer"));
    cmbSecurity->addItems({QStringLiteral("SSL/TLS"), QStringLiteral("STARTTLS"), QStringLiteral("None")});
    form->addRow(QStringLiteral("Security:"), cmbSecurity);
    edtUser = named(new QLineEdit(grpImap), "edtUser");
    form->addRow(QStringLiteral("User name:"), edtUser);
    edtPassword = named(new QLineEdit(grpImap), "edtPassword",
                        QStringLiteral("Kept in the desktop's secret store; leave empty to keep the one stored"));
    edtPassword->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("Password:"), edtPassword);
    btnTestConnection = named(new QPushButton(QStringLiteral("&Test Connection"), grpImap), "btnTestConnection");
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(btnTestConnection);
    form->addRow(row);
    v->addWidget(grpImap);
    v->addStretch(1);
    auto *right = new QVBoxLayout;
    sendingAccount = new SendingAccountBox(settings, this);
    right->addWidget(sendingAccount);
    right->addStretch(1);
    columns->addLayout(right, 1);

    Settings &s = m_settings;
    connect(rdbImapAccount, &QRadioButton::toggled, this, [this, &s](bool on) {
        s.MailAccount = on ? QStringLiteral("IMAP") : QStringLiteral("Local");
        kindChanged();
    });
    connect(edtStoreFolder, &QLineEdit::textChanged, this, [&s](const QString &t) { s.MailStoreFolder = t.trimmed(); });
    connect(edtServer, &QLineEdit::textChanged, this, [&s](const QString &t) { s.ImapServer = t.trimmed(); });
    connect(spnPort, &QSpinBox::valueChanged, this, [&s](int n) { s.ImapPort = n; });
    connect(cmbSecurity, &QComboBox::currentTextChanged, this, &TMailAccountPage::securityChanged);
    connect(edtUser, &QLineEdit::textChanged, this, [&s](const QString &t) { s.ImapUser = t.trimmed(); });
    connect(btnTestConnection, &QPushButton::clicked, this, &TMailAccountPage::btnTestConnectionClick);
}

void TMailAccountPage::showValues()
{
    const Settings s = m_settings; // each set below copies its value back
    (mailaccount::isImap(s) ? rdbImapAccount : rdbLocalStore)->setChecked(true);
    edtStoreFolder->setText(s.MailStoreFolder);
    edtServer->setText(s.ImapServer);
    cmbSecurity->setCurrentText(s.ImapSecurity);
    spnPort->setValue(s.ImapPort);
    edtUser->setText(s.ImapUser);
    edtPassword->clear();
    kindChanged();
    sendingAccount->load();
}

void TMailAccountPage::kindChanged()
{
    grpImap->setEnabled(rdbImapAccount->isChecked());
    edtStoreFolder->setEnabled(rdbLocalStore->isChecked());
}

void TMailAccountPage::securityChanged(const QString &security)
{
    m_settings.ImapSecurity = security;
    // The usual port of the other kind follows the choice.
    const int usual = security == QLatin1String("SSL/TLS") ? ImapsPort : ImapPort;
    if (spnPort->value() == ImapsPort || spnPort->value() == ImapPort)
        spnPort->setValue(usual);
}

void TMailAccountPage::apply()
{
    sendingAccount->apply(m_prompts);
    if (edtPassword->text().isEmpty() || !mailaccount::isImap(m_settings))
        return;
    if (!mailaccount::keepPassword(m_settings, edtPassword->text()))
        m_prompts.information(QStringLiteral("No secret store answered, so the password is kept only until the "
                                             "program ends; it will be asked for once in each later run."));
    edtPassword->clear();
}

void TMailAccountPage::btnTestConnectionClick()
{
    const QString password
        = edtPassword->text().isEmpty() ? mailaccount::storedPassword(m_settings) : edtPassword->text();
    AccountTestResult result;
    {
        WaitCursor wait;
        result = testAccount(m_settings, password);
    }
    if (result.connected || result.trustValue.isEmpty()) {
        (result.connected ? m_prompts.information(result.text) : m_prompts.warning(result.text));
        return;
    }
    if (m_prompts.confirm(result.text + QStringLiteral("\n\nTrust this certificate for this server?"))
        != Prompts::Answer::Yes)
        return;
    m_settings.ImapTrustedCertificate = result.trustValue;
    {
        WaitCursor wait;
        result = testAccount(m_settings, password);
    }
    (result.connected ? m_prompts.information(result.text) : m_prompts.warning(result.text));
}
