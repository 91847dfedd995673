#pragma once
// The settings store the program knows from Windows: hives of keys holding
// named string and dword values. On POSIX each hive is one text file in the
// registry export format, under the user's configuration directory.
#include <QString>
#include <QStringList>
#include <memory>
#include <stdexcept>

namespace platform {

enum class RootKey { LocalMachine, CurrentUser };

class RegistryError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class Registry
{
public:
    explicit Registry(RootKey root = RootKey::LocalMachine);
    ~Registry();
    Registry(const Registry &) = delete;
    Registry &operator=(const Registry &) = delete;

    // Opens a key such as "SOFTWARE\\Varnel\\Quillmar" (key names ignore case).
    // False when the hive cannot be read or parsed, when the key is missing
    // and canCreate is false, or when creating it cannot be written.
    bool openKey(const QString &path, bool canCreate);
    // Why the last openKey() failed, naming the hive file; empty after success.
    QString lastError() const { return m_lastError; }
    void closeKey();
    bool keyExists(const QString &path) const;

    // Value names ignore letter case but keep every other character,
    // blanks included ("SendCount " is not "SendCount").
    bool valueExists(const QString &name) const;
    QStringList valueNames() const;

    // A missing value reads as empty text; a value that is not a string throws.
    QString readString(const QString &name) const;
    // A missing value or one that is not a dword throws.
    quint32 readInteger(const QString &name) const;

    // Each write replaces the hive file atomically; throws when it cannot.
    void writeString(const QString &name, const QString &value);
    void writeInteger(const QString &name, quint32 value);
    bool deleteValue(const QString &name);

    // $XDG_CONFIG_HOME/quillmar/registry/HKEY_LOCAL_MACHINE.reg and so on.
    static QString hiveFilePath(RootKey root);

private:
    struct Hive;
    std::unique_ptr<Hive> m_hive;
    RootKey m_root;
    QString m_currentKey;
    QString m_lastError;
};

} // namespace platform
