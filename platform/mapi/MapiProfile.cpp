#include "platform/mapi/MapiProfile.h"
#include "platform/mapi/MapiProfileKeys.h"
#include "platform/mapi/MimeHeaders.h"

#include <QDir>
#include <QFileInfo>

#include <map>
#include <mutex>

namespace mapistandin {

namespace {

std::mutex g_mutex;
std::map<LHANDLE, Profile> g_sessions;
LHANDLE g_nextSession = 1;

QString expandHome(const QString &path)
{
    if (path == QLatin1String("~"))
        return QDir::homePath();
    if (path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

} // namespace

ULONG openProfile(const QString &requested, FLAGS flags, Profile *out)
{
    const ULONG noProfile = (flags & MAPI_LOGON_UI) ? MAPI_E_USER_ABORT : MAPI_E_LOGON_FAILURE;
    QString name = requested.trimmed();
    if (name.contains(QLatin1Char('\\')))
        return noProfile;
    Profile p;
    try {
        platform::Registry reg(platform::RootKey::CurrentUser);
        const QString key = profilesKey(reg);
        if (name.isEmpty()) {
            if (!reg.openKey(key, false))
                return noProfile;
            name = reg.readString(defaultProfileValue()).trimmed();
            if (name.isEmpty() || name.contains(QLatin1Char('\\')))
                return noProfile;
        }
        if (!reg.openKey(key + QLatin1Char('\\') + name, false))
            return noProfile;
        p.name = name;
        p.storePath = expandHome(reg.readString(storePathValue()).trimmed());
        p.senderName = reg.readString(senderNameValue()).trimmed();
        p.senderAddress = reg.readString(senderAddressValue()).trimmed();
    } catch (const platform::RegistryError &) {
        return MAPI_E_LOGON_FAILURE;
    }
    // A store that is not there is not created: the path may hold a typing
    // error. Nor is mail sent from an address no header can hold.
    if (p.storePath.isEmpty() || !QFileInfo(p.storePath).isDir() || !addrSpec(p.senderAddress))
        return MAPI_E_LOGON_FAILURE;
    *out = p;
    return SUCCESS_SUCCESS;
}

LHANDLE openSession(const Profile &profile)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const LHANDLE handle = g_nextSession++;
    g_sessions.emplace(handle, profile);
    return handle;
}

bool closeSession(LHANDLE session)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_sessions.erase(session) > 0;
}

std::optional<Profile> sessionProfile(LHANDLE session)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto it = g_sessions.find(session);
    if (it == g_sessions.end())
        return std::nullopt;
    return it->second;
}

} // namespace mapistandin
