#include "commands/SendingAccount.h"

#include "core/Settings.h"
#include "platform/keychain/SecretStore.h"
#include "platform/mapi/MapiProfile.h"
#include "platform/smtp/SendmailTransport.h"
#include "platform/smtp/SmtpTransport.h"

#include <QHash>
#include <QMutex>

namespace sending {

using platform::smtp::TransportError;

namespace {

QMutex memoryLock;
// Passwords given in this run where no secret store answers; never written.
QHash<QString, QString> remembered;

QString secretKey(const Settings &s)
{
    return QStringLiteral("smtp:%1@%2:%3").arg(s.SmtpUser, s.SmtpServer.trimmed()).arg(s.SmtpPort);
}

} // namespace

QString storedPassword(const Settings &settings)
{
    const QString key = secretKey(settings);
    {
        const QMutexLocker lock(&memoryLock);
        if (const QString memory = remembered.value(key); !memory.isEmpty())
            return memory;
    }
    return platform::keychain::readSecret(key).value_or(QString());
}

bool keepPassword(const Settings &settings, const QString &password)
{
    const QString key = secretKey(settings);
    const bool kept = platform::keychain::writeSecret(key, password);
    const QMutexLocker lock(&memoryLock);
    // Held for the run either way: the store may be locked at the next ask.
    remembered.insert(key, password);
    return kept;
}

void forgetPassword(const Settings &settings)
{
    const QMutexLocker lock(&memoryLock);
    remembered.remove(secretKey(settings));
}

Method method(const Settings &settings)
{
    if (settings.SendMethod.compare(QLatin1String("SMTP"), Qt::CaseInsensitive) == 0)
        return Method::Smtp;
    if (settings.SendMethod.compare(QLatin1String("Sendmail"), Qt::CaseInsensitive) == 0)
        return Method::Sendmail;
    return Method::Outbox;
}

bool needsPassword(const Settings &settings)
{
    return method(settings) == Method::Smtp && !settings.SmtpUser.isEmpty();
}

std::optional<MailProfile> mailProfile(QString *error)
{
    mapistandin::Profile p;
    if (mapistandin::openProfile(QString(), 0, &p) != 0 || p.storePath.isEmpty()) {
        *error = QStringLiteral("No mail profile with a local mail store is set up, so the Outbox cannot be found.");
        return std::nullopt;
    }
    return MailProfile{p.storePath, p.senderAddress};
}

QString envelopeSender(const Settings &settings, const QString &profileAddress)
{
    return settings.SmtpSender.trimmed().isEmpty() ? profileAddress : settings.SmtpSender.trimmed();
}

QString settingsProblem(const Settings &settings)
{
    const std::pair<const char *, const QString *> values[] = {{"SMTP server", &settings.SmtpServer},
                                                               {"user name", &settings.SmtpUser},
                                                               {"envelope sender", &settings.SmtpSender},
                                                               {"list name", &settings.ListName}};
    for (const auto &[name, value] : values) {
        if (platform::smtp::holdsControl(*value))
            return QStringLiteral("The %1 setting holds a line break or another control character.")
                .arg(QLatin1String(name));
    }
    return {};
}

std::unique_ptr<platform::smtp::Transport> makeTransport(const Settings &settings, const QString &password)
{
    if (const QString problem = settingsProblem(settings); !problem.isEmpty())
        throw TransportError(TransportError::Kind::Setting, problem);
    if (method(settings) == Method::Sendmail)
        return std::make_unique<platform::smtp::SendmailTransport>();
    platform::smtp::SmtpConfig c;
    c.host = settings.SmtpServer.trimmed();
    c.port = quint16(settings.SmtpPort > 0 && settings.SmtpPort < 65536 ? settings.SmtpPort : 587);
    const QString security = settings.SmtpSecurity.trimmed();
    c.security = security.compare(QLatin1String("SSL/TLS"), Qt::CaseInsensitive) == 0 ? platform::smtp::Security::SslTls
                 : security.compare(QLatin1String("None"), Qt::CaseInsensitive) == 0
                     ? platform::smtp::Security::None
                     : platform::smtp::Security::StartTls;
    c.user = settings.SmtpUser;
    c.password = password;
    c.trustedFingerprint = settings.SmtpTrustedCertificate;
    return std::make_unique<platform::smtp::SmtpTransport>(c);
}

} // namespace sending
