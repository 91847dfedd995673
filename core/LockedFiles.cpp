#include "core/LockedFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>

namespace lockedfiles {

namespace {

QMutex mutex;
QHash<QString, int> counts; // by canonical path

const char *const Companions[] = {"", "-wal", "-shm", "-journal"};

// A file that does not exist yet is named by its folder's canonical path.
QString canonical(const QString &path)
{
    const QFileInfo info(path);
    const QString resolved = info.canonicalFilePath();
    if (!resolved.isEmpty())
        return resolved;
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? info.absoluteFilePath() : QDir(folder).filePath(info.fileName());
}

// The locked list file that path belongs to, or an empty string.
QString owner(const QString &path)
{
    if (path.isEmpty())
        return {};
    const QString name = canonical(path);
    const QMutexLocker lock(&mutex);
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        for (const char *suffix : Companions) {
            if (name == it.key() + QLatin1String(suffix))
                return it.key();
        }
    }
    return {};
}

} // namespace

void add(const QString &listFile)
{
    const QString name = canonical(listFile);
    const QMutexLocker lock(&mutex);
    ++counts[name];
}

void remove(const QString &listFile)
{
    const QString name = canonical(listFile);
    const QMutexLocker lock(&mutex);
    const auto it = counts.find(name);
    if (it != counts.end() && --it.value() <= 0)
        counts.erase(it);
}

bool contains(const QString &path)
{
    return !owner(path).isEmpty();
}

QString reason(const QString &path)
{
    const QString list = owner(path);
    if (list.isEmpty())
        return {};
    if (canonical(path) == list)
        return QStringLiteral("%1 is the mailing-list file the program has open.").arg(QDir::toNativeSeparators(path));
    return QStringLiteral("%1 belongs to the mailing-list file %2, which the program has open.")
        .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(list));
}

} // namespace lockedfiles
