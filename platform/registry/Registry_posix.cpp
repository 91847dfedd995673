#include "platform/registry/RegFormat.h"
#include "platform/registry/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QtDebug>

#include <functional>
#include <optional>

namespace platform {

using regformat::Document;
using regformat::Key;
using regformat::Value;

struct Registry::Hive
{
    Document doc;
};

namespace {

QString rootName(RootKey root)
{
    return root == RootKey::CurrentUser ? QStringLiteral("HKEY_CURRENT_USER") : QStringLiteral("HKEY_LOCAL_MACHINE");
}

[[noreturn]] void fail(const QString &text)
{
    throw RegistryError(text.toStdString());
}

// "SOFTWARE\\X" becomes "HKEY_LOCAL_MACHINE\\SOFTWARE\\X"; nothing for a
// path no key can have.
std::optional<QString> fullPath(RootKey root, QString path)
{
    while (path.startsWith(QLatin1Char('\\')))
        path.remove(0, 1);
    while (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    if (path.isEmpty())
        return rootName(root);
    for (const QString &part : path.split(QLatin1Char('\\'))) {
        if (!regformat::isValidKeyName(part))
            return std::nullopt;
    }
    return rootName(root) + QLatin1Char('\\') + path;
}

enum class Load { Ok, Missing, Failed };

Load loadHive(const QString &file, Document &doc, QString &why)
{
    doc = Document();
    const QFileInfo info(file);
    if (!info.exists())
        return Load::Missing;
    if (info.isDir()) {
        why = file + QStringLiteral(" is a folder");
        return Load::Failed;
    }
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        why = file + QStringLiteral(": ") + f.errorString();
        return Load::Failed;
    }
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        why = file + QStringLiteral(": ") + f.errorString();
        return Load::Failed;
    }
    QString error;
    if (!regformat::parse(bytes, doc, &error)) {
        why = file + QStringLiteral(", ") + error + QStringLiteral("; the file is left as it is");
        return Load::Failed;
    }
    return Load::Ok;
}

// Re-reads the hive under the lock so that changes other processes made
// since we read it survive, applies one change and replaces the file.
Document updateHive(const QString &file, const std::function<bool(Document &)> &change)
{
    const QString dir = QFileInfo(file).absolutePath();
    if (!QDir().mkpath(dir))
        fail(QStringLiteral("Cannot create the folder %1").arg(dir));

    QLockFile lock(file + QStringLiteral(".lock"));
    // A writer holds the lock for milliseconds; anything older was left by a crash.
    lock.setStaleLockTime(5000);
    if (!lock.tryLock(10000)) {
        switch (lock.error()) {
        case QLockFile::LockFailedError:
            fail(QStringLiteral("%1 is locked by another program").arg(file));
        case QLockFile::PermissionError:
            fail(QStringLiteral("Cannot write in %1: permission denied").arg(dir));
        default:
            fail(QStringLiteral("Cannot lock %1").arg(file));
        }
    }

    Document doc;
    QString why;
    if (loadHive(file, doc, why) == Load::Failed)
        fail(why);
    if (!change(doc))
        return doc;

    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        fail(QStringLiteral("Cannot write %1: %2").arg(file, out.errorString()));
    const QByteArray bytes = regformat::serialize(doc);
    // Flushed first: commit() does not always notice a short write (full disk).
    if (out.write(bytes) != bytes.size() || !out.flush() || out.error() != QFileDevice::NoError || !out.commit())
        fail(QStringLiteral("Cannot write %1: %2").arg(file, out.errorString()));
    return doc;
}

void checkValueName(const QString &name)
{
    if (name.contains(QLatin1Char('\n')) || name.contains(QLatin1Char('\r')))
        fail(QStringLiteral("A value name cannot contain a line break"));
}

} // namespace

Registry::Registry(RootKey root)
    : m_hive(std::make_unique<Hive>())
    , m_root(root)
{
}

Registry::~Registry() = default;

QString Registry::hiveFilePath(RootKey root)
{
    // Relative values are invalid by the XDG rules and are ignored.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/quillmar/registry/") + rootName(root) + QStringLiteral(".reg");
}

bool Registry::openKey(const QString &path, bool canCreate)
{
    closeKey();
    m_lastError.clear();
    const QString file = hiveFilePath(m_root);
    const std::optional<QString> full = fullPath(m_root, path);
    if (!full) {
        m_lastError = QStringLiteral("%1: no key can be named \"%2\"").arg(file, path);
        return false;
    }
    Document doc;
    QString why;
    if (loadHive(file, doc, why) == Load::Failed) {
        qWarning().noquote() << "Registry:" << why;
        m_lastError = why;
        return false;
    }
    if (!doc.keyExists(*full)) {
        if (!canCreate) {
            m_lastError = QStringLiteral("%1 has no key %2").arg(file, *full);
            return false;
        }
        try {
            doc = updateHive(file, [&](Document &d) {
                if (d.keyExists(*full))
                    return false;
                d.ensure(*full);
                return true;
            });
        } catch (const RegistryError &e) {
            m_lastError = QString::fromStdString(e.what());
            qWarning().noquote() << "Registry:" << m_lastError;
            return false;
        }
    }
    m_hive->doc = std::move(doc);
    m_currentKey = *full;
    return true;
}

void Registry::closeKey()
{
    m_currentKey.clear();
    m_hive->doc = Document();
}

bool Registry::keyExists(const QString &path) const
{
    const std::optional<QString> full = fullPath(m_root, path);
    if (!full)
        return false;
    Document doc;
    QString why;
    return loadHive(hiveFilePath(m_root), doc, why) != Load::Failed && doc.keyExists(*full);
}

bool Registry::valueExists(const QString &name) const
{
    const Key *key = m_currentKey.isEmpty() ? nullptr : m_hive->doc.find(m_currentKey);
    return key && key->find(name);
}

QStringList Registry::valueNames() const
{
    QStringList names;
    if (const Key *key = m_currentKey.isEmpty() ? nullptr : m_hive->doc.find(m_currentKey)) {
        for (const Value &v : key->values())
            names.append(v.name);
    }
    return names;
}

QString Registry::readString(const QString &name) const
{
    if (m_currentKey.isEmpty())
        fail(QStringLiteral("No registry key is open"));
    const Key *key = m_hive->doc.find(m_currentKey);
    const Value *v = key ? key->find(name) : nullptr;
    if (!v)
        return QString();
    if (v->type != regformat::TypeString && v->type != regformat::TypeExpandString)
        fail(QStringLiteral("Registry value \"%1\" in %2 is not a string").arg(name, hiveFilePath(m_root)));
    return regformat::decodeString(v->data);
}

quint32 Registry::readInteger(const QString &name) const
{
    if (m_currentKey.isEmpty())
        fail(QStringLiteral("No registry key is open"));
    const Key *key = m_hive->doc.find(m_currentKey);
    const Value *v = key ? key->find(name) : nullptr;
    if (!v)
        fail(QStringLiteral("Registry value \"%1\" does not exist").arg(name));
    if (v->type != regformat::TypeDword || v->data.size() != 4)
        fail(QStringLiteral("Registry value \"%1\" is not a dword").arg(name));
    quint32 result = 0;
    for (int i = 3; i >= 0; --i)
        result = (result << 8) | uchar(v->data[i]);
    return result;
}

void Registry::writeString(const QString &name, const QString &value)
{
    if (m_currentKey.isEmpty())
        fail(QStringLiteral("No registry key is open"));
    checkValueName(name);
    m_hive->doc = updateHive(hiveFilePath(m_root), [&](Document &d) {
        d.ensure(m_currentKey).setString(name, value);
        return true;
    });
}

void Registry::writeInteger(const QString &name, quint32 value)
{
    if (m_currentKey.isEmpty())
        fail(QStringLiteral("No registry key is open"));
    checkValueName(name);
    m_hive->doc = updateHive(hiveFilePath(m_root), [&](Document &d) {
        d.ensure(m_currentKey).setDword(name, value);
        return true;
    });
}

bool Registry::deleteValue(const QString &name)
{
    if (m_currentKey.isEmpty())
        fail(QStringLiteral("No registry key is open"));
    bool removed = false;
    m_hive->doc = updateHive(hiveFilePath(m_root), [&](Document &d) {
        Key *key = d.find(m_currentKey);
        removed = key && key->remove(name);
        return removed;
    });
    return removed;
}

} // namespace platform
