#include "dialogs/SendingAccountBox.h"

#include "core/Settings.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>

SendingAccountBox::SendingAccountBox(Settings &settings, QWidget *parent)
    : QGroupBox(QStringLiteral("Sending the Outbox"), parent)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("SendingAccountBox"));
    // Two fields a row: the Sending Mail tab must still fit a small screen.
    auto *grid = new QGridLayout(this);
    rdbleaveoutbox = new QRadioButton(QStringLiteral("Leave messages in the Outbox for my mail client"), this);
    rdbsmtp = new QRadioButton(QStringLiteral("Send through an SMTP server"), this);
    rdbsendmail = new QRadioButton(QStringLiteral("Send with this computer's sendmail command"), this);
    rdbleaveoutbox->setObjectName(QStringLiteral("rdbleaveoutbox"));
    rdbsmtp->setObjectName(QStringLiteral("rdbsmtp"));
    rdbsendmail->setObjectName(QStringLiteral("rdbsendmail"));
    grid->addWidget(rdbleaveoutbox, 0, 0, 1, 2);
    grid->addWidget(rdbsendmail, 0, 2, 1, 2);
    grid->addWidget(rdbsmtp, 1, 0, 1, 4);

    m_server = new QWidget(this);
    auto *form = new QGridLayout(m_server);
    form->setContentsMargins(20, 0, 0, 0);
    edtsmtpserver = new QLineEdit(m_server);
    spnsmtpport = new QSpinBox(m_server);
    spnsmtpport->setRange(1, 65535);
    cmbsmtpsecurity = new QComboBox(m_server);
    cmbsmtpsecurity->addItems({QStringLiteral("STARTTLS"), QStringLiteral("SSL/TLS"), QStringLiteral("None")});
    cmbsmtpsecurity->setToolTip(QStringLiteral("None is only allowed for a server on this computer"));
    edtsmtpuser = new QLineEdit(m_server);
    edtsmtpuser->setToolTip(QStringLiteral("Its password is asked for once each time the program runs"));
    edtsmtpsender = new QLineEdit(m_server);
    edtsmtpsender->setPlaceholderText(QStringLiteral("the mail profile's address"));
    edtsmtpsender->setToolTip(QStringLiteral("The address that delivery failures are returned to"));
    const std::pair<QWidget *, const char *> named[] = {{edtsmtpserver, "edtsmtpserver"},
                                                        {spnsmtpport, "spnsmtpport"},
                                                        {cmbsmtpsecurity, "cmbsmtpsecurity"},
                                                        {edtsmtpuser, "edtsmtpuser"},
                                                        {edtsmtpsender, "edtsmtpsender"}};
    for (const auto &[w, name] : named)
        w->setObjectName(QLatin1String(name));
    const auto label = [this](const char *text) { return new QLabel(QLatin1String(text), m_server); };
    form->addWidget(label("Server:"), 0, 0);
    form->addWidget(edtsmtpserver, 0, 1);
    form->addWidget(label("Port:"), 0, 2);
    form->addWidget(spnsmtpport, 0, 3);
    form->addWidget(label("Security:"), 1, 0);
    form->addWidget(cmbsmtpsecurity, 1, 1);
    form->addWidget(label("User name:"), 1, 2);
    form->addWidget(edtsmtpuser, 1, 3);
    form->addWidget(label("Envelope sender:"), 2, 0);
    form->addWidget(edtsmtpsender, 2, 1, 1, 3);
    grid->addWidget(m_server, 2, 0, 1, 4);

    edtlistname = new QLineEdit(this);
    edtlistname->setObjectName(QStringLiteral("edtlistname"));
    edtlistname->setPlaceholderText(QStringLiteral("made from your address"));
    edtlistname->setToolTip(QStringLiteral("The List-Id of every message sent to the list, e.g. news.example.org; "
                                           "other text describes the list"));
    grid->addWidget(new QLabel(QStringLiteral("List name:"), this), 3, 0);
    grid->addWidget(edtlistname, 3, 1, 1, 3);

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
    edtlistname->setText(s.ListName);
    // The settings as they were: the port's follow-up must not change them.
    m_settings.SmtpPort = s.SmtpPort;
    enableServer();
}

void SendingAccountBox::enableServer()
{
    m_server->setEnabled(rdbsmtp->isChecked());
}
