#include "commands/AccountTest.h"

#include "core/MailAccountSetting.h"
#include "core/Settings.h"

using platform::imap::ImapError;

AccountTestResult testAccount(const Settings &settings, const QString &password)
{
    AccountTestResult result;
    if (settings.ImapServer.trimmed().isEmpty()) {
        result.text = QStringLiteral("Enter the name of the mail server.");
        return result;
    }
    platform::imap::ServerConfig config = mailaccount::serverConfig(settings);
    config.password = password;
    try {
        platform::imap::Session session(config);
        session.open();
        int folders = 0;
        for (const auto &box : session.list())
            folders += box.selectable ? 1 : 0;
        result.connected = true;
        result.text = QStringLiteral("Connected: %1 folders").arg(folders);
    } catch (const ImapError &e) {
        result.text = e.message();
        if (e.kind() == ImapError::Kind::Certificate && !e.fingerprint().isEmpty())
            result.trustValue = mailaccount::trustedCertificateValue(settings, e.fingerprint());
    }
    return result;
}
