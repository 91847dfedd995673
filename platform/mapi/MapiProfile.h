#pragma once
// The mail profiles of the registry stand-in and the sessions over them.
#include "platform/mapi/MapiDefs.h"

#include <QString>

#include <optional>

namespace mapistandin {

struct Profile
{
    QString name;
    QString storePath;
    QString senderName;
    QString senderAddress;
};

// An empty name takes the default profile. A MAPI code: where the user
// would have to pick a profile in a dialog (MAPI_LOGON_UI), the answer is
// that of a user who cancelled.
ULONG openProfile(const QString &name, FLAGS flags, Profile *out);

LHANDLE openSession(const Profile &profile);
bool closeSession(LHANDLE session);
std::optional<Profile> sessionProfile(LHANDLE session);

} // namespace mapistandin
