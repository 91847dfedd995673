#pragma once
// How the Outbox leaves, on the options window's Mail Account page: left
// for a mail client, handed to an SMTP server, or to this computer's
// sendmail command, and the list name of the list headers. Edits the
// settings live, as the window's other controls do; the password goes to
// the secret store on OK, never into the settings.
#include <QGroupBox>

class Prompts;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QWidget;
struct Settings;

class SendingAccountBox : public QGroupBox
{
    Q_OBJECT
public:
    SendingAccountBox(Settings &settings, QWidget *parent = nullptr);

    // The controls as the settings in force give them.
    void load();
    // OK: keeps a typed password, and says so when only for this run.
    void apply(Prompts &prompts);

    QRadioButton *rdbleaveoutbox;
    QRadioButton *rdbsmtp;
    QRadioButton *rdbsendmail;
    QLineEdit *edtsmtpserver;
    QSpinBox *spnsmtpport;
    QComboBox *cmbsmtpsecurity;
    QLineEdit *edtsmtpuser;
    QLineEdit *edtsmtppassword;
    QLineEdit *edtsmtpsender;
    QLineEdit *edtlistname;
    QCheckBox *chkverp;

private:
    void enableServer();

    Settings &m_settings;
    QWidget *m_server;
};
