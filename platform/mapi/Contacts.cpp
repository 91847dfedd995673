#include "platform/mapi/Contacts.h"
#include "platform/outlook/VCard.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <map>
#include <mutex>

#include <sys/stat.h>

namespace mapistandin {

void ContactIndex::add(const Contact &contact)
{
    const int index = int(m_contacts.size());
    m_contacts.append(contact);
    QStringList keys{contact.displayName.toCaseFolded()};
    for (const QString &nick : contact.nicknames)
        keys.append(nick.toCaseFolded());
    keys.removeDuplicates();
    for (const QString &key : std::as_const(keys)) {
        if (!key.isEmpty())
            m_byName[key].append(index);
    }
}

QVector<const Contact *> ContactIndex::find(const QString &name) const
{
    QVector<const Contact *> out;
    for (int i : m_byName.value(name.trimmed().toCaseFolded()))
        out.append(&m_contacts[i]);
    return out;
}

int ContactIndex::addressesForDisplayName(const QString &displayName) const
{
    const QString key = displayName.trimmed().toCaseFolded();
    QStringList addresses;
    for (const Contact *c : find(displayName)) {
        if (c->displayName.toCaseFolded() == key)
            addresses.append(c->email.toCaseFolded());
    }
    addresses.removeDuplicates();
    return int(addresses.size());
}

QVector<Contact> parseVCards(const QByteArray &bytes)
{
    QVector<Contact> out;
    for (const platform::outlook::VCardContact &card : platform::outlook::readVCards(bytes)) {
        if (!card.emails.isEmpty())
            out.append(Contact{card.fullName, card.nicknames, card.preferredAddress()});
    }
    return out;
}

namespace {

// What changes when a file is added, removed or renamed in a folder.
struct FolderState
{
    bool exists = false;
    quint64 inode = 0;
    qint64 mtimeSec = 0;
    qint64 mtimeNsec = 0;
    bool operator==(const FolderState &) const = default;
};

FolderState stateOf(const QString &path)
{
    FolderState s;
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        s.exists = true;
        s.inode = st.st_ino;
        s.mtimeSec = st.st_mtim.tv_sec;
        s.mtimeNsec = st.st_mtim.tv_nsec;
    }
    return s;
}

struct CacheEntry
{
    FolderState folder, fresh, current;
    bool settled = false;
    std::shared_ptr<const ContactIndex> index;
};

// Folder times tick coarsely (a second on some file systems), so a change
// right after a read can leave them as they were: such a read is trusted
// only once the times are older than this.
constexpr qint64 kTimeGranularitySec = 2;

std::mutex g_cacheMutex;
std::map<QString, CacheEntry> g_cache;
std::atomic<int> g_reads{0};

std::shared_ptr<const ContactIndex> readContacts(const QString &folder)
{
    ++g_reads;
    auto index = std::make_shared<ContactIndex>();
    for (const char *sub : {"new", "cur"}) {
        const QDir dir(folder + QLatin1Char('/') + QLatin1String(sub));
        const QStringList names = dir.entryList(QDir::Files, QDir::Name);
        for (const QString &name : names) {
            QFile file(dir.filePath(name));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            for (const Contact &c : parseVCards(file.readAll()))
                index->add(c);
        }
    }
    return index;
}

} // namespace

std::shared_ptr<const ContactIndex> contactsOf(const QString &storeRoot)
{
    const QString folder = storeRoot + QStringLiteral("/.Contacts");
    const FolderState folderState = stateOf(folder);
    const FolderState freshState = stateOf(folder + QStringLiteral("/new"));
    const FolderState currentState = stateOf(folder + QStringLiteral("/cur"));

    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);

    std::lock_guard<std::mutex> lock(g_cacheMutex);
    CacheEntry &entry = g_cache[storeRoot];
    if (!entry.index || !entry.settled || !(entry.folder == folderState) || !(entry.fresh == freshState)
        || !(entry.current == currentState)) {
        entry.folder = folderState;
        entry.fresh = freshState;
        entry.current = currentState;
        const qint64 newest = std::max({folderState.mtimeSec, freshState.mtimeSec, currentState.mtimeSec});
        entry.settled = newest + kTimeGranularitySec < qint64(now.tv_sec);
        entry.index = readContacts(folder);
    }
    return entry.index;
}

int contactReadCount()
{
    return g_reads.load();
}

} // namespace mapistandin
