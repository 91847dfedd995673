#pragma once
// Where the mail system's availability flag and its profiles live in the
// registry, shared by the library, its set-up and the mail component.
#include "platform/registry/Registry.h"

#include <QString>

namespace mapistandin {

// Under the local machine's hive: the value "MAPI" is "1" when a mail
// system is installed.
inline QString availabilityKey()
{
    return QStringLiteral("SOFTWARE\\Microsoft\\Windows Messaging Subsystem");
}
inline QString availabilityValue()
{
    return QStringLiteral("MAPI");
}

// Under the current user's hive; the first when it exists, else the second.
inline QString profilesKeyNt()
{
    return QStringLiteral("Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles");
}
inline QString profilesKeyPlain()
{
    return QStringLiteral("Software\\Microsoft\\Windows Messaging Subsystem\\Profiles");
}
inline QString defaultProfileValue()
{
    return QStringLiteral("DefaultProfile");
}

// Values of one profile, in the subkey named after it.
inline QString storePathValue()
{
    return QStringLiteral("StorePath");
}
inline QString senderAddressValue()
{
    return QStringLiteral("SenderAddress");
}
inline QString senderNameValue()
{
    return QStringLiteral("SenderName");
}

inline QString profilesKey(const platform::Registry &currentUser)
{
    return currentUser.keyExists(profilesKeyNt()) ? profilesKeyNt() : profilesKeyPlain();
}

} // namespace mapistandin
