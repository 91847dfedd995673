#pragma once
// What SMapi needs of the platform: finding the mail library by the names
// the program asks for, and its entry points. One back-end per platform.
#include <QString>
#include <QStringList>

#include <optional>

class SMapiLibrary
{
public:
    ~SMapiLibrary();

    // Tries each name in order; "mapi32" and "mapi32.dll" are mapped to the
    // platform's file names, the program directory first.
    static SMapiLibrary *load(const QStringList &names, const QString &programDir);
    void *symbol(const char *name) const;
    QString path() const { return m_path; }

    // The answer of systems whose mail flag lives outside the registry
    // (win.ini on Windows 3.51 and earlier); nothing elsewhere.
    static std::optional<bool> legacyMailFlag();

    static QByteArray toLibraryText(const QString &text);
    static QString fromLibraryText(const char *text);

private:
    SMapiLibrary(void *handle, const QString &path)
        : m_handle(handle)
        , m_path(path)
    {
    }
    void *m_handle;
    QString m_path;
};
