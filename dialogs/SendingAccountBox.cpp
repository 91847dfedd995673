#include "dialogs/SendingAccountBox.h"

#include "core/Settings.h"

#include "commands/SendingAccount.h"
#include "core/Prompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

SendingAccountBox::SendingAccountBox(Settings &settings, QWidget *parent)
    : QGroupBox(QStringLiteral("Sending the Outbox"), parent)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("SendingAccountBox"));
    // One field a row: the page holds the reading account beside it.
    auto *v = new QVBoxLayout(this);
    rdbleaveoutbox = new QRadioButton(QStringLiteral("Leave messages in the Outbox for my mail client"), this);
    rdbsendmail = new QRadioButton(QStringLiteral("Send with this computer's sendmail command"), this);
    rdbsmtp = new QRadioButton(QStringLiteral("Send through an SMTP server"), this);
    rdbleaveoutbox->setObjectName(QStringLiteral("rdbleaveoutbox"));
    rdbsmtp->setObjectName(QStringLiteral("rdbsmtp"));
    rdbsendmail->setObjectName(QStringLiteral("rdbsendmail"));
    for (QRadioButton *b : {rdbleaveoutbox, rdbsendmail, rdbsmtp})
        v->addWidget(b);

    m_server = new QWidget(this);
    auto *form = new QFormLayout(m_server);
    form->setContentsMargins(20, 0, 0, 0);
    edtsmtpserver = new QLineEdit(m_server);
    spnsmtpport = new QSpinBox(m_server);
    spnsmtpport->setRange(1, 65535);
    cmbsmtpsecurity = new QComboBox(m_server);
    cmbsmtpsecurity->addItems({QStringLiteral("STARTTLS"), QStringLiteral("SSL/TLS"), QStringLiteral("None")});
    cmbsmtpsecurity->setToolTip(QStringLiteral("None is only allowed for a server on this computer"));
    edtsmtpuser = new QLineEdit(m_server);
    edtsmtppassword = new QLineEdit(m_server);
    edtsmtppassword->setEchoMode(QLineEdit::Password);
    edtsmtppassword->setToolTip(
        QStringLiteral("Kept in the desktop's secret store; leave empty to keep the one stored"));
    edtsmtpsender = new QLineEdit(m_server);
    edtsmtpsender->setPlaceholderText(QStringLiteral("the mail profile's address"));
    edtsmtpsender->setToolTip(QStringLiteral("The address that delivery failures are returned to"));
    const std::pair<QWidget *, const char *> named[]
        = {{edtsmtpserver, "edtsmtpserver"}, {spnsmtpport, "spnsmtpport"},         {cmbsmtpsecurity, "cmbsmtpsecurity"},
           {edtsmtpuser, "edtsmtpuser"},     {edtsmtppassword, "edtsmtppassword"}, {edtsmtpsender, "edtsmtpsender"}};
    for (const auto &[w, name] : named)
        w->setObjectName(QLatin1String(name));
    form->addRow(QStringLiteral("Server:"), edtsmtpserver);
    form->addRow(QStringLiteral("Port:"), spnsmtpport);
    form->addRow(QStringLiteral("Security:"), cmbsmtpsecurity);
    form->addRow(QStringLiteral("User name:"), edtsmtpuser);
    form->addRow(QStringLiteral("Password:"), edtsmtppassword);
    form->addRow(QStringLiteral("Envelope sender:"), edtsmtpsender);
    v->addWidget(m_server);

    auto *list = new QFormLayout;
    edtlistname = new QLineEdit(this);
    edtlistname->setObjectName(QStringLiteral("edtlistname"));
    edtlistname->setPlaceholderText(QStringLiteral("made from your address"));
    edtlistname->setToolTip(QStringLiteral("The List-Id of every message sent to the list, e.g. news.example.org; "
                                           "other text describes the list"));
    list->addRow(QStringLiteral("List name:"), edtlistname);
    v->addLayout(list);
    chkverp = new QCheckBox(QStringLiteral("Give each recipient its own return address"), this);
    chkverp->setObjectName(QStringLiteral("chkverp"));
    chkverp->setToolTip(QStringLiteral("Each recipient's message goes on its own, returned to "
                                       "owner+user=domain@host, so a delivery failure names its recipient for "
                                       "certain; your mailbox must accept such plus-addresses"));
    v->addWidget(chkverp);

    Settings &s = m_settings;
    const auto method = [this, &s] {
        s.SendMethod = rdbsmtp->isChecked()       ? QStringLiteral("SMTP")
                       : rdbsendmail->isChecked() ? QStringLiteral("Sendmail")
                                                  : QStringLiteral("Outbox");
        enableServer();
    };
    for (QRadioButton *b : {rdbleaveoutbox, rdbsmtp, rdbsendmail})
        connect(b, &QRadioButton::toggled, this, method);
    connect(edtsmtpserver, &QLineEdit::textChanged, this, [&s](const QString &t) { s.SmtpServer = t.trimmed(); });
    connect(spnsmtpport, &QSpinBox::valueChanged, this, [&s](int n) { s.SmtpPort = n; });
    connect(cmbsmtpsecurity, &QComboBox::currentTextChanged, this, [this, &s](const QString &t) {
        // The usual port of each kind follows the choice.
        if (t != s.SmtpSecurity && (spnsmtpport->value() == 587 || spnsmtpport->value() == 465))
            spnsmtpport->setValue(t == QLatin1String("SSL/TLS") ? 465 : 587);
        s.SmtpSecurity = t;
    });
    connect(edtsmtpuser, &QLineEdit::textChanged, this, [&s](const QString &t) { s.SmtpUser = t.trimmed(); });
    connect(edtsmtpsender, &QLineEdit::textChanged, this, [&s](const QString &t) { s.SmtpSender = t.trimmed(); });
    connect(chkverp, &QCheckBox::toggled, this, [&s](bool on) { s.SmtpVerp = on; });
    connect(edtlistname, &QLineEdit::textChanged, this, [&s](const QString &t) { s.ListName = t.trimmed(); });
}

void SendingAccountBox::load()
{
    const Settings s = m_settings;
    const QString method = s.SendMethod;
    (method.compare(QLatin1String("SMTP"), Qt::CaseInsensitive) == 0       ? rdbsmtp
     : method.compare(QLatin1String("Sendmail"), Qt::CaseInsensitive) == 0 ? rdbsendmail
                                                                           : rdbleaveoutbox)
        ->setChecked(true);
    edtsmtpserver->setText(s.SmtpServer);
    cmbsmtpsecurity->setCurrentText(s.SmtpSecurity);
    spnsmtpport->setValue(s.SmtpPort);
    edtsmtpuser->setText(s.SmtpUser);
    edtsmtpsender->setText(s.SmtpSender);
    edtsmtppassword->clear();
    edtlistname->setText(s.ListName);
    chkverp->setChecked(s.SmtpVerp);
    // The settings as they were: the port's follow-up must not change them.
    m_settings.SmtpPort = s.SmtpPort;
    enableServer();
}

void SendingAccountBox::enableServer()
{
    m_server->setEnabled(rdbsmtp->isChecked());
    chkverp->setEnabled(!rdbleaveoutbox->isChecked());
}

void SendingAccountBox::apply(Prompts &prompts)
{
    if (edtsmtppassword->text().isEmpty() || !sending::needsPassword(m_settings))
        return;
    if (!sending::keepPassword(m_settings, edtsmtppassword->text()))
        prompts.information(QStringLiteral("No secret store answered, so the mail server's password is kept only "
                                           "until the program ends; it will be asked for once in each later run."));
    edtsmtppassword->clear();
}
