#include "core/MailAccountSetting.h"

#include "core/Prompts.h"
#include "core/Settings.h"
#include "platform/keychain/SecretStore.h"
#include "platform/outlook/MailAccount.h"

#include <QHash>
#include <QMutex>

namespace mailaccount {

namespace {

using platform::imap::Security;

QMutex memoryLock;
// Passwords given in this run where no secret store answers; never written.
QHash<QString, QString> remembered;

QString secretKey(const Settings &s)
{
    return QStringLiteral("imap:%1@%2:%3").arg(s.ImapUser, s.ImapServer.trimmed()).arg(s.ImapPort);
}

QString serverId(const Settings &s)
{
    return QStringLiteral("%1:%2").arg(s.ImapServer.trimmed().toLower()).arg(s.ImapPort);
}

QString inMemory(const QString &key)
{
    const QMutexLocker lock(&memoryLock);
    return remembered.value(key);
}

void keepInMemory(const QString &key, const QString &password)
{
    const QMutexLocker lock(&memoryLock);
    remembered.insert(key, password);
}

} // namespace

bool isImap(const Settings &settings)
{
    return settings.MailAccount.compare(QStringLiteral("IMAP"), Qt::CaseInsensitive) == 0;
}

platform::imap::ServerConfig serverConfig(const Settings &s)
{
    platform::imap::ServerConfig c;
    c.host = s.ImapServer.trimmed();
    c.port = quint16(s.ImapPort > 0 && s.ImapPort < 65536 ? s.ImapPort : 993);
    if (s.ImapSecurity.compare(QStringLiteral("STARTTLS"), Qt::CaseInsensitive) == 0)
        c.security = Security::StartTls;
    else if (s.ImapSecurity.compare(QStringLiteral("None"), Qt::CaseInsensitive) == 0)
        c.security = Security::None;
    c.user = s.ImapUser;
    // Trust is for the one server it was given for.
    const QString prefix = serverId(s) + QLatin1Char(' ');
    if (s.ImapTrustedCertificate.startsWith(prefix, Qt::CaseInsensitive))
        c.trustedFingerprint = s.ImapTrustedCertificate.mid(prefix.size()).trimmed();
    return c;
}

QString trustedCertificateValue(const Settings &settings, const QString &fingerprint)
{
    return serverId(settings) + QLatin1Char(' ') + fingerprint;
}

QString storedPassword(const Settings &settings)
{
    const QString key = secretKey(settings);
    if (const QString memory = inMemory(key); !memory.isEmpty())
        return memory;
    return platform::keychain::readSecret(key).value_or(QString());
}

bool keepPassword(const Settings &settings, const QString &password)
{
    const QString key = secretKey(settings);
    if (platform::keychain::writeSecret(key, password))
        return true;
    keepInMemory(key, password);
    return false;
}

void registerAccount(const Settings &settings, Prompts &prompts)
{
    platform::outlook::MailAccount account;
    account.storeRoot = settings.MailStoreFolder.trimmed();
    account.imap = isImap(settings);
    if (account.imap) {
        account.server = serverConfig(settings);
        account.passwordSource = [settings, &prompts] {
            if (QString kept = storedPassword(settings); !kept.isEmpty())
                return kept;
            const QString typed = prompts.password(QStringLiteral("The password of %1 on the mail server %2:")
                                                       .arg(settings.ImapUser, settings.ImapServer));
            if (!typed.isEmpty())
                keepInMemory(secretKey(settings), typed);
            return typed;
        };
    }
    platform::outlook::setMailAccount(std::move(account));
}

} // namespace mailaccount
