#include "platform/outlook/Maildir.h"
#include "platform/maildir/MaildirFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include <dirent.h>
#include <fcntl.h>

namespace platform::outlook {

namespace {

QString decodeUtf7Chunk(const QString &chunk)
{
    // Modified base64: ',' instead of '/', no padding, UTF-16BE inside.
    QByteArray b64 = chunk.toLatin1();
    b64.replace(',', '/');
    while (b64.size() % 4)
        b64.append('=');
    const QByteArray bytes = QByteArray::fromBase64(b64);
    QString out;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        out.append(QChar(char16_t((uchar(bytes.at(i)) << 8) | uchar(bytes.at(i + 1)))));
    return out;
}

// Arrival time from a Maildir unique name ("1700000000.M1P2.host"), for ordering.
qint64 arrivalOf(const QString &fileName)
{
    qint64 t = 0;
    for (QChar c : fileName) {
        if (!c.isDigit())
            break;
        // A longer number than fits is later than any that does.
        if (t > (std::numeric_limits<qint64>::max() - 9) / 10)
            return std::numeric_limits<qint64>::max();
        t = t * 10 + c.digitValue();
    }
    return t;
}

} // namespace

Maildir::Maildir(QString root)
    : m_root(std::move(root))
{
}

bool Maildir::exists() const
{
    return QFileInfo(m_root).isDir();
}

QString Maildir::encodeName(const QString &name)
{
    QString out;
    qsizetype i = 0;
    while (i < name.size()) {
        const QChar c = name.at(i);
        if (c == QLatin1Char('&')) {
            out += QStringLiteral("&-");
            ++i;
        } else if (c.unicode() >= 0x20 && c.unicode() <= 0x7e) {
            out += c;
            ++i;
        } else {
            QByteArray utf16;
            while (i < name.size() && (name.at(i).unicode() < 0x20 || name.at(i).unicode() > 0x7e)) {
                utf16.append(char(name.at(i).unicode() >> 8));
                utf16.append(char(name.at(i).unicode() & 0xff));
                ++i;
            }
            QByteArray b64 = utf16.toBase64(QByteArray::OmitTrailingEquals);
            b64.replace('/', ',');
            out += QLatin1Char('&') + QString::fromLatin1(b64) + QLatin1Char('-');
        }
    }
    return out;
}

QString Maildir::decodeName(const QString &encoded)
{
    QString out;
    qsizetype i = 0;
    while (i < encoded.size()) {
        const QChar c = encoded.at(i);
        if (c != QLatin1Char('&')) {
            out += c;
            ++i;
            continue;
        }
        const qsizetype end = encoded.indexOf(QLatin1Char('-'), i + 1);
        if (end < 0) { // not modified UTF-7 after all: keep as written
            out += encoded.mid(i);
            break;
        }
        out += end == i + 1 ? QStringLiteral("&") : decodeUtf7Chunk(encoded.mid(i + 1, end - i - 1));
        i = end + 1;
    }
    return out;
}

QStringList Maildir::folderNames() const
{
    QStringList names;
    const QDir dir(m_root);
    for (const QString &entry : dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        // ".Name" is top-level; ".Name.Sub" is a subfolder of it.
        if (!entry.startsWith(QLatin1Char('.')) || entry.size() < 2 || entry.indexOf(QLatin1Char('.'), 1) >= 0)
            continue;
        if (!QFileInfo(dir.filePath(entry + QStringLiteral("/cur"))).isDir()
            && !QFileInfo(dir.filePath(entry + QStringLiteral("/new"))).isDir())
            continue;
        names << decodeName(entry.mid(1));
    }
    if (QFileInfo(dir.filePath(QStringLiteral("cur"))).isDir()
        || QFileInfo(dir.filePath(QStringLiteral("new"))).isDir())
        names << QStringLiteral("Inbox");
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return QString::compare(a, b, Qt::CaseInsensitive) < 0; });
    return names;
}

QString Maildir::folderPath(const QString &name) const
{
    if (name.compare(QStringLiteral("Inbox"), Qt::CaseInsensitive) == 0)
        return exists() ? m_root : QString();
    for (const QString &known : folderNames()) {
        if (known.compare(name, Qt::CaseInsensitive) == 0
            && known.compare(QStringLiteral("Inbox"), Qt::CaseInsensitive) != 0)
            return QDir(m_root).filePath(QLatin1Char('.') + encodeName(known));
    }
    return {};
}

QString Maildir::createFolder(const QString &name) const
{
    if (name.isEmpty() || name.contains(QLatin1Char('.')) || name.contains(QLatin1Char('/')))
        throw std::runtime_error(QStringLiteral("\"%1\" cannot be the name of a folder.").arg(name).toStdString());
    if (!exists())
        throw std::runtime_error(QStringLiteral("The mail store %1 does not exist.").arg(m_root).toStdString());
    const QString existing = folderPath(name);
    if (!existing.isEmpty())
        return existing;
    const QString path = QDir(m_root).filePath(QLatin1Char('.') + encodeName(name));
    if (platform::maildir::makeFolder(path, platform::maildir::FolderKind::Subfolder) != 0)
        throw std::runtime_error(QStringLiteral("The folder %1 cannot be created.").arg(path).toStdString());
    return path;
}

QStringList Maildir::messageFiles(const QString &folderDir)
{
    struct Found
    {
        qint64 arrival;
        QString name;
        QString path;
    };
    QList<Found> found;
    for (const char *sub : {"new", "cur"}) {
        const QString dirPath = folderDir + QLatin1Char('/') + QLatin1String(sub);
        DIR *dir = ::opendir(QFile::encodeName(dirPath).constData());
        if (!dir)
            continue;
        while (const dirent *entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            const QString name = QFile::decodeName(entry->d_name);
            const QString path = dirPath + QLatin1Char('/') + name;
            // The entry's type tells a regular file without a look-up per
            // file; only some file systems leave it unknown.
            if (entry->d_type == DT_UNKNOWN ? !isMessageFile(path) : entry->d_type != DT_REG)
                continue;
            found.append({arrivalOf(name), name, path});
        }
        ::closedir(dir);
    }
    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
        return a.arrival != b.arrival ? a.arrival < b.arrival : a.name < b.name;
    });
    QStringList paths;
    paths.reserve(found.size());
    for (const Found &f : std::as_const(found))
        paths << f.path;
    return paths;
}

qint64 Maildir::arrivalTime(const QString &fileName)
{
    return arrivalOf(fileName);
}

bool Maildir::isMessageFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink();
}

QString Maildir::uniqueName(const QString &fileName)
{
    const qsizetype colon = fileName.indexOf(QLatin1Char(':'));
    return colon < 0 ? fileName : fileName.left(colon);
}

QString Maildir::findMessage(const QString &folderDir, const QString &unique)
{
    if (unique.isEmpty())
        return {};
    for (const char *sub : {"cur", "new"}) {
        const QDir dir(folderDir + QLatin1Char('/') + QLatin1String(sub));
        for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            if (uniqueName(name) == unique && isMessageFile(dir.filePath(name)))
                return dir.filePath(name);
        }
    }
    return {};
}

QString Maildir::moveMessage(const QString &file, const QString &folderDir)
{
    const QString cur = folderDir + QStringLiteral("/cur");
    QString name = QFileInfo(file).fileName();
    // Messages from new/ have not been seen by a client: give them an info part.
    if (!name.contains(QStringLiteral(":2,")))
        name += QStringLiteral(":2,");
    const qsizetype info = name.lastIndexOf(QStringLiteral(":2,"));
    const QByteArray from = QFile::encodeName(file);
    bool madeCur = false;
    for (int n = 0;;) {
        const QString target = cur + QLatin1Char('/')
                               + (n == 0 ? name : name.left(info) + QStringLiteral(".%1").arg(n) + name.mid(info));
        // One call that never replaces a namesake: checking first and then
        // renaming cost a look-up per message and left a gap between the two.
        if (renameat2(AT_FDCWD, from.constData(), AT_FDCWD, QFile::encodeName(target).constData(), RENAME_NOREPLACE)
            == 0)
            return target;
        if (errno == EEXIST) {
            ++n;
        } else if (errno == ENOENT && !madeCur) {
            madeCur = true;
            if (!QDir().mkpath(cur))
                throw std::runtime_error(QStringLiteral("The folder %1 cannot be created.").arg(cur).toStdString());
        } else {
            throw std::runtime_error(QStringLiteral("The message %1 cannot be moved.").arg(file).toStdString());
        }
    }
}

} // namespace platform::outlook
