#pragma once
// The options' "Mail Account" page: the mail read from the local mail store
// or an IMAP account with its server, security, user name, password and
// "Test Connection"; beside it, how the Outbox is sent. Like the other pages
// it edits the settings in place; passwords go to the secret store on OK,
// never into the settings.
#include <QWidget>

class Prompts;
struct Settings;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class SendingAccountBox;

class TMailAccountPage : public QWidget
{
    Q_OBJECT
public:
    TMailAccountPage(Settings &settings, Prompts &prompts, QWidget *parent = nullptr);

    void showValues();
    // OK: keeps a typed password. Says so when it can be kept for this run only.
    void apply();
    void btnTestConnectionClick();

    QRadioButton *rdbLocalStore;
    QLineEdit *edtStoreFolder;
    QRadioButton *rdbImapAccount;
    QGroupBox *grpImap;
    QLineEdit *edtServer;
    QSpinBox *spnPort;
    QComboBox *cmbSecurity;
    QLineEdit *edtUser;
    QLineEdit *edtPassword;
    QPushButton *btnTestConnection;
    SendingAccountBox *sendingAccount;

private:
    void kindChanged();
    void securityChanged(const QString &security);

    Settings &m_settings;
    Prompts &m_prompts;
};
