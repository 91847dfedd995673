#include "platform/mapi/Contacts.h"
#include "platform/vcard/VCard.h"

#include <QFile>

#include <atomic>
#include <ctime>
#include <map>
#include <mutex>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    for (const platform::vcard::VCardContact &card : platform::vcard::readVCards(bytes)) {
        if (!card.emails.isEmpty())
            out.append(Contact{card.fullName, card.nicknames, card.preferredAddress()});
    }
    return out;
}

namespace {

// What changes when a file is written, replaced or renamed over: size,
// times and inode. The change time also moves when an editor puts back the
// old modification time.
struct FileState
{
    quint64 inode = 0;
    qint64 size = 0;
    qint64 mtimeSec = 0, mtimeNsec = 0;
    qint64 ctimeSec = 0, ctimeNsec = 0;
    bool operator==(const FileState &) const = default;
};

FileState stateOf(const struct stat &st)
{
    return {quint64(st.st_ino), qint64(st.st_size), st.st_mtim.tv_sec,
            st.st_mtim.tv_nsec, st.st_ctim.tv_sec,  st.st_ctim.tv_nsec};
}

struct CachedFile
{
    FileState state;
    // Times tick coarsely (a second on some file systems), so a file
    // changed within the tick of its reading could keep its times: such a
    // reading is trusted only when the file was older than this.
    bool settled = false;
    QVector<Contact> contacts;
};

constexpr qint64 kTimeGranularitySec = 2;

// By folder ("new" before "cur") and file name.
using FileKey = std::pair<int, QByteArray>;

struct CacheEntry
{
    std::map<FileKey, CachedFile> files;
    std::shared_ptr<const ContactIndex> index;
};

std::mutex g_cacheMutex;
std::map<QString, CacheEntry> g_cache;
std::atomic<int> g_reads{0};

const char *const kFolders[] = {"new", "cur"};

// The regular files of the contacts folders as they are now.
std::map<FileKey, FileState> listFiles(const QByteArray &contacts)
{
    std::map<FileKey, FileState> out;
    for (int f = 0; f < 2; ++f) {
        DIR *dir = ::opendir((contacts + '/' + kFolders[f]).constData());
        if (!dir)
            continue;
        while (const struct dirent *e = ::readdir(dir)) {
            struct stat st;
            if (e->d_name[0] == '.' || ::fstatat(::dirfd(dir), e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode))
                continue;
            out.emplace(FileKey{f, QByteArray(e->d_name)}, stateOf(st));
        }
        ::closedir(dir);
    }
    return out;
}

// A file that cannot be opened counts as read, without contacts, until it changes.
CachedFile readFile(const QByteArray &path, const FileState &listed, qint64 now)
{
    CachedFile file{listed, listed.mtimeSec + kTimeGranularitySec < now, {}};
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return file;
    struct stat st;
    if (::fstat(fd, &st) == 0) {
        QFile in; // leaves the descriptor open
        if (in.open(fd, QIODevice::ReadOnly)) {
            file.state = stateOf(st);
            file.settled = st.st_mtim.tv_sec + kTimeGranularitySec < now;
            file.contacts = parseVCards(in.readAll());
        }
    }
    ::close(fd);
    return file;
}

} // namespace

std::shared_ptr<const ContactIndex> contactsOf(const QString &storeRoot)
{
    const QByteArray folder = QFile::encodeName(storeRoot + QStringLiteral("/.Contacts"));
    const std::map<FileKey, FileState> now = listFiles(folder);
    struct timespec clock;
    ::clock_gettime(CLOCK_REALTIME, &clock);

    std::lock_guard<std::mutex> lock(g_cacheMutex);
    CacheEntry &entry = g_cache[storeRoot];
    bool changed = !entry.index || entry.files.size() != now.size();
    std::map<FileKey, CachedFile> files;
    for (const auto &[key, state] : now) {
        auto old = entry.files.find(key);
        if (old != entry.files.end() && old->second.settled && old->second.state == state) {
            files.emplace(key, std::move(old->second));
            continue;
        }
        changed = true;
        files.emplace(key, readFile(folder + '/' + kFolders[key.first] + '/' + key.second, state, clock.tv_sec));
    }
    entry.files = std::move(files);
    if (changed) {
        ++g_reads;
        auto index = std::make_shared<ContactIndex>();
        for (const auto &[key, file] : entry.files) {
            for (const Contact &c : file.contacts)
                index->add(c);
        }
        entry.index = std::move(index);
    }
    return entry.index;
}

int contactReadCount()
{
    return g_reads.load();
}

} // namespace mapistandin
