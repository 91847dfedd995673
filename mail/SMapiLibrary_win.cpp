#include "mail/SMapiLibrary.h"

#include <windows.h>

SMapiLibrary::~SMapiLibrary()
{
    ::FreeLibrary(static_cast<HMODULE>(m_handle));
}

// LoadLibrary searches the program's directory first by itself.
SMapiLibrary *SMapiLibrary::load(const QStringList &names, const QString &programDir)
{
    Q_UNUSED(programDir);
    for (const QString &name : names) {
        // No "insert disk" or "file not found" boxes while the program starts.
        const UINT previous = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        const HMODULE handle = ::LoadLibraryW(reinterpret_cast<LPCWSTR>(name.utf16()));
        ::SetErrorMode(previous);
        if (handle)
            return new SMapiLibrary(handle, name);
    }
    return nullptr;
}

void *SMapiLibrary::symbol(const char *name) const
{
    return reinterpret_cast<void *>(::GetProcAddress(static_cast<HMODULE>(m_handle), name));
}

// Every Windows that runs this program is later than 3.51: the registry decides.
std::optional<bool> SMapiLibrary::legacyMailFlag()
{
    return std::nullopt;
}

QByteArray SMapiLibrary::toLibraryText(const QString &text)
{
    return text.toLocal8Bit();
}

QString SMapiLibrary::fromLibraryText(const char *text)
{
    return text ? QString::fromLocal8Bit(text) : QString();
}
