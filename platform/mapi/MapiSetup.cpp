#include "platform/mapi/MapiSetup.h"
#include "platform/mapi/MapiProfileKeys.h"

using platform::Registry;
using platform::RegistryError;
using platform::RootKey;

QString defaultSenderAddress()
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("LOGNAME");
    if (user.isEmpty())
        user = QStringLiteral("user");
    return user + QStringLiteral("@localhost");
}

QString standInProfileName()
{
    return QStringLiteral("Local Mail Store");
}

namespace {

void writeIfMissing(Registry &reg, const QString &name, const QString &value)
{
    if (!reg.valueExists(name))
        reg.writeString(name, value);
}

} // namespace

bool registerMapiStandIn(const QString &storePath, QString *error)
{
    return registerMapiStandIn(storePath, defaultSenderAddress(), error);
}

bool registerMapiStandIn(const QString &storePath, const QString &senderAddress, QString *error)
{
    using namespace mapistandin;
    try {
        Registry machine(RootKey::LocalMachine);
        if (!machine.openKey(availabilityKey(), true))
            throw RegistryError("Cannot open or create the key HKEY_LOCAL_MACHINE\\" + availabilityKey().toStdString());
        writeIfMissing(machine, availabilityValue(), QStringLiteral("1"));

        Registry user(RootKey::CurrentUser);
        const QString profiles = profilesKey(user);
        if (!user.openKey(profiles, true))
            throw RegistryError("Cannot open or create the key HKEY_CURRENT_USER\\" + profiles.toStdString());
        QString profile = user.readString(defaultProfileValue()).trimmed();
        if (profile.isEmpty()) {
            profile = standInProfileName();
            user.writeString(defaultProfileValue(), profile);
        }
        const QString profileKey = profiles + QLatin1Char('\\') + profile;
        if (!user.openKey(profileKey, true))
            throw RegistryError("Cannot open or create the key HKEY_CURRENT_USER\\" + profileKey.toStdString());
        writeIfMissing(user, storePathValue(), storePath);
        writeIfMissing(user, senderAddressValue(), senderAddress);
        writeIfMissing(user, senderNameValue(), QString());
    } catch (const RegistryError &e) {
        if (error)
            *error = QString::fromStdString(e.what());
        return false;
    }
    return true;
}
