#include "mail/SMapi.h"
#include "mail/SMapiLibrary.h"

#include "platform/mapi/MapiProfileKeys.h"
#include "platform/registry/Registry.h"

namespace {

template<typename T> bool bind(const SMapiLibrary &library, const char *name, T *slot)
{
    *slot = reinterpret_cast<T>(library.symbol(name));
    return *slot != nullptr;
}

} // namespace

SMapi::SMapi(const QString &programDir)
{
    const std::optional<bool> legacy = SMapiLibrary::legacyMailFlag();
    if (!(legacy ? *legacy : availabilityFlagSet()))
        return;
    m_library.reset(SMapiLibrary::load({QStringLiteral("mapi32"), QStringLiteral("mapi32.dll")}, programDir));
    if (!m_library)
        return;

    MapiFunctions &f = m_functions;
    const SMapiLibrary &lib = *m_library;
    bool all = bind(lib, "MAPIFindNext", &f.MAPIFindNext);
    all = bind(lib, "MAPILogoff", &f.MAPILogoff) && all;
    all = bind(lib, "MAPILogon", &f.MAPILogon) && all;
    all = bind(lib, "MAPISendMail", &f.MAPISendMail) && all;
    all = bind(lib, "MAPIReadMail", &f.MAPIReadMail) && all;
    all = bind(lib, "MAPIDeleteMail", &f.MAPIDeleteMail) && all;
    all = bind(lib, "MAPIResolveName", &f.MAPIResolveName) && all;
    all = bind(lib, "MAPIFreeBuffer", &f.MAPIFreeBuffer) && all;
    all = bind(lib, "MAPIAddress", &f.MAPIAddress) && all;
    all = bind(lib, "MAPISaveMail", &f.MAPISaveMail) && all;
    if (!all) {
        // Half a binding is no binding: nothing may call through a missing entry.
        m_functions = MapiFunctions();
        m_library.reset();
        m_loadError = entryPointError();
        return;
    }
    m_available = true;
}

SMapi::~SMapi()
{
    m_functions = MapiFunctions();
}

QString SMapi::libraryPath() const
{
    return m_library ? m_library->path() : QString();
}

bool SMapi::availabilityFlagSet() const
{
    try {
        platform::Registry machine(platform::RootKey::LocalMachine);
        if (!machine.openKey(mapistandin::availabilityKey(), false))
            return false;
        return machine.readString(mapistandin::availabilityValue()) == QLatin1String("1");
    } catch (const platform::RegistryError &) {
        return false;
    }
}

QByteArray SMapi::toMapiText(const QString &text)
{
    return SMapiLibrary::toLibraryText(text);
}

QString SMapi::fromMapiText(const char *text)
{
    return SMapiLibrary::fromLibraryText(text);
}
