#include "intake/HarvestRules.h"

#include "core/AsciiCase.h"
#include "core/Settings.h"
#include "platform/mapi/MapiProfileKeys.h"
#include "platform/registry/Registry.h"

namespace {

QString defaultProfileSender()
{
    platform::Registry user(platform::RootKey::CurrentUser);
    try {
        const QString profiles = mapistandin::profilesKey(user);
        if (!user.openKey(profiles, false))
            return {};
        const QString name = user.readString(mapistandin::defaultProfileValue());
        if (name.isEmpty() || !user.openKey(profiles + QLatin1Char('\\') + name, false))
            return {};
        return user.readString(mapistandin::senderAddressValue());
    } catch (const platform::RegistryError &) {
        // Unreadable settings leave nothing out rather than stop the scan.
        return {};
    }
}

bool isMailSystem(const QString &key)
{
    const QString local = key.left(key.indexOf(QLatin1Char('@')));
    return local == QLatin1String("mailer-daemon") || local == QLatin1String("mailer_daemon")
           || local == QLatin1String("postmaster");
}

} // namespace

QString addressKey(const QString &text)
{
    QString address = text.trimmed();
    const qsizetype open = address.lastIndexOf(QLatin1Char('<'));
    const qsizetype close = address.lastIndexOf(QLatin1Char('>'));
    if (open >= 0 && close > open)
        address = address.mid(open + 1, close - open - 1).trimmed();
    return lowerAZ(address);
}

HarvestRules::HarvestRules(const QStringList &ownAddresses)
{
    for (const QString &address : ownAddresses) {
        const QString key = addressKey(address);
        if (!key.isEmpty())
            m_own.insert(key);
    }
}

QStringList HarvestRules::ownAddresses(const Settings &settings)
{
    QStringList own{defaultProfileSender()};
    for (const QString &to : settings.DefaultToAddress.split(QLatin1Char(';')))
        own += to.split(QLatin1Char(','));
    return own;
}

bool HarvestRules::keeps(const QString &address) const
{
    const QString key = addressKey(address);
    return !m_own.contains(key) && !isMailSystem(key);
}

void HarvestRules::appendNew(QStringList &list, const QStringList &more) const
{
    QSet<QString> seen;
    seen.reserve(list.size() + more.size());
    for (const QString &line : std::as_const(list))
        seen.insert(lowerAZ(line.trimmed()));
    for (const QString &address : more) {
        if (keeps(address) && !seen.contains(lowerAZ(address.trimmed()))) {
            seen.insert(lowerAZ(address.trimmed()));
            list.append(address);
        }
    }
}
