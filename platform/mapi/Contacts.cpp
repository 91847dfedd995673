#include "platform/mapi/Contacts.h"
#include "platform/mapi/MapiText.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

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

namespace {

struct Property
{
    QByteArray name;
    QList<QByteArray> params;
    QByteArray value;
};

// vCard 2.1 soft line breaks of quoted-printable values, then folded lines.
QList<QByteArray> unfoldedLines(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const bool continuation = !lines.isEmpty() && (line.startsWith(' ') || line.startsWith('\t'));
        const bool softBreak = !lines.isEmpty() && lines.last().endsWith('=')
            && lines.last().toUpper().contains("QUOTED-PRINTABLE");
        if (softBreak) {
            lines.last().chop(1);
            lines.last() += line;
        } else if (continuation) {
            lines.last() += line.mid(1);
        } else {
            lines.append(line);
        }
    }
    return lines;
}

Property parseLine(const QByteArray &line)
{
    Property p;
    int colon = -1;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon < 0)
        return p;
    QList<QByteArray> head = line.left(colon).split(';');
    QByteArray name = head.takeFirst().trimmed().toUpper();
    if (const int dot = name.lastIndexOf('.'); dot >= 0)
        name = name.mid(dot + 1); // group prefix
    p.name = name;
    for (const QByteArray &param : std::as_const(head))
        p.params.append(param.trimmed().toUpper());
    p.value = line.mid(colon + 1);
    return p;
}

QByteArray paramValue(const Property &p, const QByteArray &key)
{
    for (const QByteArray &param : p.params) {
        if (param.startsWith(key + '='))
            return param.mid(key.size() + 1);
    }
    return {};
}

QByteArray decodeQuotedPrintable(const QByteArray &in)
{
    QByteArray out;
    out.reserve(in.size());
    for (int i = 0; i < in.size(); ++i) {
        if (in[i] == '=' && i + 2 < in.size()) {
            bool ok = false;
            const int byte = in.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                out += char(byte);
                i += 2;
                continue;
            }
        }
        out += in[i];
    }
    return out;
}

QString decodeValue(const Property &p)
{
    QByteArray raw = p.value;
    if (p.params.contains("QUOTED-PRINTABLE") || paramValue(p, "ENCODING") == "QUOTED-PRINTABLE")
        raw = decodeQuotedPrintable(raw);
    const QByteArray charset = paramValue(p, "CHARSET");
    if (!charset.isEmpty() && charset != "UTF-8") {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder.decode(raw);
    }
    return textFromBytes(raw);
}

// Backslash escapes of vCard 3 and 4; commas split list values.
QStringList splitEscaped(const QString &value, QChar separator)
{
    QStringList out{QString()};
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar n = value[++i];
            out.last() += (n == QLatin1Char('n') || n == QLatin1Char('N')) ? QChar(QLatin1Char('\n')) : n;
        } else if (c == separator) {
            out.append(QString());
        } else {
            out.last() += c;
        }
    }
    for (QString &s : out)
        s = s.trimmed();
    return out;
}

} // namespace

QVector<Contact> parseVCards(const QByteArray &bytes)
{
    QVector<Contact> out;
    bool inCard = false;
    Contact card;
    QString structuredName;
    bool havePreferred = false;
    for (const QByteArray &line : unfoldedLines(bytes)) {
        const Property p = parseLine(line);
        if (p.name == "BEGIN" && p.value.trimmed().toUpper() == "VCARD") {
            inCard = true;
            card = Contact();
            structuredName.clear();
            havePreferred = false;
        } else if (!inCard) {
            continue;
        } else if (p.name == "END") {
            inCard = false;
            if (card.displayName.isEmpty())
                card.displayName = !structuredName.isEmpty() ? structuredName : card.nicknames.value(0);
            if (!card.email.isEmpty())
                out.append(card);
        } else if (p.name == "FN") {
            card.displayName = splitEscaped(decodeValue(p), QChar()).join(QString());
        } else if (p.name == "N") {
            // Family;Given;Additional;Prefix;Suffix
            const QStringList parts = splitEscaped(decodeValue(p), QLatin1Char(';'));
            structuredName = (parts.value(1) + QLatin1Char(' ') + parts.value(0)).trimmed();
        } else if (p.name == "NICKNAME") {
            for (const QString &nick : splitEscaped(decodeValue(p), QLatin1Char(','))) {
                if (!nick.isEmpty())
                    card.nicknames.append(nick);
            }
        } else if (p.name == "EMAIL") {
            const QString address = decodeValue(p).trimmed();
            bool preferred = false;
            for (const QByteArray &param : p.params)
                preferred = preferred || param.contains("PREF");
            if (!address.isEmpty() && (card.email.isEmpty() || (preferred && !havePreferred))) {
                card.email = address;
                havePreferred = preferred;
            }
        }
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
