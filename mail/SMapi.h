#pragma once
// The binding to the system's Simple MAPI library, made once at program
// start and kept until the end. MAPI is available when the registry's
// availability value says so and the library loads with all ten entry
// points. A library that lacks one is not an error the program dies of:
// the binding records loadError() ("GetProcAddress for MAPI.DLL
// function(s) failed") and MAPI stays unavailable; the program start shows
// that text to the user through Prompts::error.
#include "platform/mapi/MapiDefs.h"

#include <QByteArray>
#include <QString>

#include <memory>

struct MapiFunctions
{
    LPMAPIFINDNEXT MAPIFindNext = nullptr;
    LPMAPILOGOFF MAPILogoff = nullptr;
    LPMAPILOGON MAPILogon = nullptr;
    LPMAPISENDMAIL MAPISendMail = nullptr;
    LPMAPIREADMAIL MAPIReadMail = nullptr;
    LPMAPIDELETEMAIL MAPIDeleteMail = nullptr;
    LPMAPIRESOLVENAME MAPIResolveName = nullptr;
    LPMAPIFREEBUFFER MAPIFreeBuffer = nullptr;
    LPMAPIADDRESS MAPIAddress = nullptr;
    LPMAPISAVEMAIL MAPISaveMail = nullptr;
};

class SMapiLibrary;

class SMapi
{
public:
    // Loads from programDir (the executable's directory) first, then from
    // where the system looks for libraries.
    explicit SMapi(const QString &programDir);
    ~SMapi();
    SMapi(const SMapi &) = delete;
    SMapi &operator=(const SMapi &) = delete;

    bool MapiAvailable() const { return m_available; }
    // Valid only while MapiAvailable().
    const MapiFunctions &functions() const { return m_functions; }
    // Empty unless the library was found but cannot be used.
    QString loadError() const { return m_loadError; }
    // The file that was loaded; empty when none.
    QString libraryPath() const;

    static QString entryPointError() { return QStringLiteral("GetProcAddress for MAPI.DLL function(s) failed"); }

    // Texts as the library takes them: UTF-8 for the stand-in, the ANSI
    // code page for the Windows library.
    static QByteArray toMapiText(const QString &text);
    static QString fromMapiText(const char *text);

private:
    bool availabilityFlagSet() const;

    std::unique_ptr<SMapiLibrary> m_library;
    MapiFunctions m_functions;
    bool m_available = false;
    QString m_loadError;
};
