#include "platform/imap/ImapSession.h"

#include "platform/imap/ServerCertificate.h"
#include "platform/imap/StreamLimit.h"

#include <QHostAddress>

#include <libetpan/libetpan.h>

#include <algorithm>
#include <csignal>
#include <mutex>
#include <optional>
#include <utility>

namespace platform::imap {

namespace {

constexpr std::size_t SummaryBatch = 1000;
// Room for the protocol around the bytes a command asks for.
constexpr std::size_t Overhead = 1 << 20;

bool isLoopback(const QString &host)
{
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// A set for one command, freed unless handed over.
struct SetHolder
{
    mailimap_set *set = nullptr;
    explicit SetHolder(const QList<quint32> &uids)
        : set(mailimap_set_new_empty())
    {
        for (const auto &[first, last] : uidRanges(uids))
            mailimap_set_add_interval(set, first, last);
    }
    ~SetHolder()
    {
        if (set)
            mailimap_set_free(set);
    }
    mailimap_set *release() { return std::exchange(set, nullptr); }
    SetHolder(const SetHolder &) = delete;
    SetHolder &operator=(const SetHolder &) = delete;
};

struct FetchResult
{
    clist *list = nullptr;
    ~FetchResult()
    {
        if (list)
            mailimap_fetch_list_free(list);
    }
};

// UID, size and the first body section of one message of a FETCH answer.
struct FetchedItem
{
    quint32 uid = 0;
    qint64 size = -1;
    const char *section = nullptr;
    std::size_t sectionLength = 0;
};

FetchedItem fetched(mailimap_msg_att *att)
{
    FetchedItem item;
    for (clistiter *it = clist_begin(att->att_list); it; it = clist_next(it)) {
        auto *entry = static_cast<mailimap_msg_att_item *>(clist_content(it));
        if (entry->att_type != MAILIMAP_MSG_ATT_ITEM_STATIC || !entry->att_data.att_static)
            continue;
        const mailimap_msg_att_static *s = entry->att_data.att_static;
        if (s->att_type == MAILIMAP_MSG_ATT_UID)
            item.uid = s->att_data.att_uid;
        else if (s->att_type == MAILIMAP_MSG_ATT_RFC822_SIZE)
            item.size = s->att_data.att_rfc822_size;
        else if (s->att_type == MAILIMAP_MSG_ATT_BODY_SECTION && s->att_data.att_body_section && !item.section) {
            item.section = s->att_data.att_body_section->sec_body_part;
            item.sectionLength = s->att_data.att_body_section->sec_length;
        }
    }
    if (!item.section)
        item.sectionLength = 0;
    return item;
}

QString megabytes(qint64 bytes)
{
    return QString::number((bytes + (1 << 20) - 1) >> 20);
}

} // namespace

struct Session::Impl
{
    mailimap *imap = nullptr;
    StreamLimit limit;
    bool broken = false;
    bool loggedIn = false;

    ~Impl()
    {
        if (!imap)
            return;
        if (loggedIn && !broken) {
            limit.start(Overhead);
            mailimap_logout(imap);
        }
        // A broken connection is closed without a goodbye: a server that
        // stopped answering would keep it waiting for the time-out.
        if (imap->imap_stream) {
            mailstream_close(imap->imap_stream);
            imap->imap_stream = nullptr;
        }
        mailimap_free(imap);
    }
};

QList<std::pair<quint32, quint32>> uidRanges(const QList<quint32> &uids)
{
    QList<std::pair<quint32, quint32>> ranges;
    for (const quint32 uid : uids) {
        if (!ranges.isEmpty() && ranges.last().second + 1 == uid)
            ranges.last().second = uid;
        else
            ranges.append({uid, uid});
    }
    return ranges;
}

Session::Session(ServerConfig config)
    : m_config(std::move(config))
    , m_impl(std::make_unique<Impl>())
{
    // A shorter wait for a server that stopped answering, for its tests.
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("QUILLMAR_IMAP_TIMEOUT", &ok);
    if (ok && seconds > 0)
        m_config.timeoutSeconds = seconds;
}

Session::~Session() = default;

QString Session::serverName() const
{
    return QStringLiteral("%1:%2").arg(m_config.host).arg(m_config.port);
}

void Session::fail(int code, const QString &doing)
{
    const QString server = serverName();
    if (m_impl->limit.exceeded) {
        m_impl->broken = true;
        throw ImapError(ImapError::Kind::TooLarge,
                        QStringLiteral("The server %1 sent more than %2 MB while %3; the connection was closed.")
                            .arg(server, megabytes(qint64(m_impl->limit.limit)), doing));
    }
    switch (code) {
    case MAILIMAP_ERROR_STREAM:
    case MAILIMAP_ERROR_CONNECTION_REFUSED:
    case MAILIMAP_ERROR_SSL:
        m_impl->broken = true;
        throw ImapError(ImapError::Kind::Connection,
                        QStringLiteral("The connection to the server %1 failed or was lost while %2 "
                                       "(or the server did not answer within %3 seconds).")
                            .arg(server, doing)
                            .arg(m_config.timeoutSeconds));
    case MAILIMAP_ERROR_PARSE:
    case MAILIMAP_ERROR_MEMORY:
        m_impl->broken = true;
        throw ImapError(
            ImapError::Kind::Server,
            QStringLiteral("The server %1 sent an answer that cannot be read while %2.").arg(server, doing));
    case MAILIMAP_ERROR_LOGIN:
        throw ImapError(ImapError::Kind::Login, QStringLiteral("The server %1 refused the user name or password (%2).")
                                                    .arg(server, QString::fromUtf8(m_impl->imap->imap_response)));
    default:
        break;
    }
    const QString said
        = m_impl->imap && m_impl->imap->imap_response ? QString::fromUtf8(m_impl->imap->imap_response) : QString();
    throw ImapError(ImapError::Kind::Server,
                    QStringLiteral("The server %1 refused %2%3.")
                        .arg(server, doing, said.isEmpty() ? QString() : QStringLiteral(": ") + said));
}

void Session::ensureUsable() const
{
    // A connection that failed mid-answer holds the rest of that answer:
    // reading on would take it for the next one.
    if (m_impl->broken || !m_impl->imap)
        throw ImapError(ImapError::Kind::Connection,
                        QStringLiteral("The connection to the server %1 was lost earlier; nothing more was read.")
                            .arg(serverName()));
}

void Session::connectStream()
{
    const QByteArray host = m_config.host.toUtf8();
    int r = MAILIMAP_ERROR_CONNECTION_REFUSED;
    if (m_config.security == Security::SslTls) {
        r = mailimap_ssl_connect(m_impl->imap, host.constData(), m_config.port);
    } else {
        r = mailimap_socket_connect(m_impl->imap, host.constData(), m_config.port);
        if (m_config.security == Security::StartTls
            && (r == MAILIMAP_NO_ERROR || r == MAILIMAP_NO_ERROR_NON_AUTHENTICATED)) {
            if (!mailimap_has_extension(m_impl->imap, const_cast<char *>("STARTTLS"))) {
                struct mailimap_capability_data *caps = nullptr;
                if (mailimap_capability(m_impl->imap, &caps) == MAILIMAP_NO_ERROR)
                    mailimap_capability_data_free(caps);
            }
            r = mailimap_socket_starttls(m_impl->imap);
            if (r != MAILIMAP_NO_ERROR) {
                m_impl->broken = true;
                throw ImapError(ImapError::Kind::Connection,
                                QStringLiteral("The server %1 does not offer STARTTLS.").arg(serverName()));
            }
        }
    }
    if (r != MAILIMAP_NO_ERROR && r != MAILIMAP_NO_ERROR_NON_AUTHENTICATED && r != MAILIMAP_NO_ERROR_AUTHENTICATED)
        fail(r, QStringLiteral("connecting"));
}

void Session::checkCertificate()
{
    QByteArrayList chain;
    if (carray *certificates = mailstream_get_certificate_chain(m_impl->imap->imap_stream)) {
        for (unsigned i = 0; i < carray_count(certificates); ++i) {
            const auto *der = static_cast<MMAPString *>(carray_get(certificates, i));
            chain += QByteArray(der->str, qsizetype(der->len));
        }
        mailstream_certificate_chain_free(certificates);
    }
    const CertificateVerdict verdict = judgeCertificate(chain, m_config.host, m_config.trustedFingerprint);
    if (verdict.trusted)
        return;
    m_impl->broken = true;
    throw ImapError(ImapError::Kind::Certificate,
                    QStringLiteral("The certificate of the server %1 is not trusted (%2). It names \"%3\"; its "
                                   "SHA-256 fingerprint is %4.")
                        .arg(serverName(), verdict.problem, verdict.subject, verdict.fingerprint),
                    verdict.subject, verdict.fingerprint);
}

void Session::open()
{
    if (m_config.security == Security::None && !isLoopback(m_config.host))
        throw ImapError(ImapError::Kind::Insecure,
                        QStringLiteral("The server %1 would be reached without encryption; that is allowed only for "
                                       "this computer (127.0.0.1). Choose SSL/TLS or STARTTLS.")
                            .arg(serverName()));
    // The library writes to sockets without MSG_NOSIGNAL: a server gone away
    // must end the command, not the program.
    static std::once_flag ignorePipe;
    std::call_once(ignorePipe, [] { std::signal(SIGPIPE, SIG_IGN); });
    m_impl->imap = mailimap_new(0, nullptr);
    if (!m_impl->imap)
        throw ImapError(ImapError::Kind::Connection, QStringLiteral("Out of memory."));
    mailimap_set_timeout(m_impl->imap, m_config.timeoutSeconds);
    connectStream();
    if (m_config.security != Security::None)
        checkCertificate();
    mailstream *stream = m_impl->imap->imap_stream;
    stream->low = limitStream(stream->low, &m_impl->limit);

    m_impl->limit.start(Overhead);
    const int r
        = mailimap_login(m_impl->imap, m_config.user.toUtf8().constData(), m_config.password.toUtf8().constData());
    if (r != MAILIMAP_NO_ERROR)
        fail(r, QStringLiteral("logging in"));
    m_impl->loggedIn = true;
    struct mailimap_capability_data *caps = nullptr;
    m_impl->limit.start(Overhead);
    if (const int c = mailimap_capability(m_impl->imap, &caps); c != MAILIMAP_NO_ERROR)
        fail(c, QStringLiteral("listing its capabilities"));
    mailimap_capability_data_free(caps);
    m_move = mailimap_has_extension(m_impl->imap, const_cast<char *>("MOVE"));
    m_uidPlus = mailimap_has_uidplus(m_impl->imap);
    if (mailimap_has_extension(m_impl->imap, const_cast<char *>("UTF8=ACCEPT")))
        enableUtf8();
}

void Session::enableUtf8()
{
    clist *wanted = clist_new();
    if (!wanted)
        return;
    clist_append(wanted, mailimap_capability_new(MAILIMAP_CAPABILITY_NAME, nullptr, strdup("UTF8=ACCEPT")));
    mailimap_capability_data *request = mailimap_capability_data_new(wanted);
    mailimap_capability_data *enabled = nullptr;
    m_impl->limit.start(Overhead);
    const int r = mailimap_enable(m_impl->imap, request, &enabled);
    mailimap_capability_data_free(request);
    // A server may leave it off (its ENABLED omits it): names stay in
    // modified UTF-7.
    if (r == MAILIMAP_NO_ERROR && enabled) {
        for (clistiter *it = clist_begin(enabled->cap_list); it; it = clist_next(it)) {
            const auto *cap = static_cast<struct mailimap_capability *>(clist_content(it));
            if (cap->cap_type == MAILIMAP_CAPABILITY_NAME && cap->cap_data.cap_name
                && qstricmp(cap->cap_data.cap_name, "UTF8=ACCEPT") == 0)
                m_utf8 = true;
        }
    }
    if (enabled)
        mailimap_capability_data_free(enabled);
    // Refused, it is only off; a connection broken by it is broken.
    if (r == MAILIMAP_ERROR_STREAM || r == MAILIMAP_ERROR_PARSE || r == MAILIMAP_ERROR_MEMORY)
        fail(r, QStringLiteral("switching on UTF-8 names"));
}

QList<Mailbox> Session::list()
{
    ensureUsable();
    clist *result = nullptr;
    m_impl->limit.start(16 * Overhead);
    if (const int r = mailimap_list(m_impl->imap, "", "*", &result); r != MAILIMAP_NO_ERROR)
        fail(r, QStringLiteral("listing the folders"));
    QList<Mailbox> boxes;
    for (clistiter *it = clist_begin(result); it; it = clist_next(it)) {
        const auto *entry = static_cast<mailimap_mailbox_list *>(clist_content(it));
        if (!entry->mb_name)
            continue;
        Mailbox box;
        box.rawName = entry->mb_name;
        box.delimiter = entry->mb_delimiter;
        if (const mailimap_mbx_list_flags *flags = entry->mb_flag) {
            if (flags->mbf_type == MAILIMAP_MBX_LIST_FLAGS_SFLAG
                && flags->mbf_sflag == MAILIMAP_MBX_LIST_SFLAG_NOSELECT)
                box.selectable = false;
            for (clistiter *f = clist_begin(flags->mbf_oflags); f; f = clist_next(f)) {
                const auto *flag = static_cast<mailimap_mbx_list_oflag *>(clist_content(f));
                if (flag->of_type != MAILIMAP_MBX_LIST_OFLAG_FLAG_EXT || !flag->of_flag_ext)
                    continue;
                QByteArray name(flag->of_flag_ext);
                if (name.startsWith('\\'))
                    name.remove(0, 1);
                const QByteArray lower = name.toLower();
                if (lower == "noselect" || lower == "nonexistent")
                    box.selectable = false;
                else if (lower == "trash" || lower == "sent" || lower == "drafts")
                    box.specialUse = lower;
            }
        }
        boxes.append(box);
    }
    mailimap_list_result_free(result);
    return boxes;
}

void Session::create(const QByteArray &rawName)
{
    ensureUsable();
    m_impl->limit.start(Overhead);
    if (const int r = mailimap_create(m_impl->imap, rawName.constData()); r != MAILIMAP_NO_ERROR)
        fail(r, QStringLiteral("creating the folder %1").arg(QString::fromUtf8(rawName)));
}

OpenedMailbox Session::select(const QByteArray &rawName)
{
    ensureUsable();
    const QString doing = QStringLiteral("opening the folder %1").arg(QString::fromUtf8(rawName));
    m_impl->limit.start(Overhead);
    if (const int r = mailimap_select(m_impl->imap, rawName.constData()); r != MAILIMAP_NO_ERROR)
        fail(r, doing);
    OpenedMailbox opened;
    if (m_impl->imap->imap_selection_info)
        opened.uidValidity = m_impl->imap->imap_selection_info->sel_uidvalidity;
    clist *result = nullptr;
    // Messages flagged deleted (by us without UIDPLUS, or by another client)
    // are gone but for the expunge.
    mailimap_search_key *all
        = mailimap_search_key_new(MAILIMAP_SEARCH_KEY_UNDELETED, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr,
                                  nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr);
    // Every UID is at most 11 bytes of text: bounded by what the folder holds.
    m_impl->limit.start(64 * Overhead);
    const int r = mailimap_uid_search(m_impl->imap, nullptr, all, &result);
    mailimap_search_key_free(all);
    if (r != MAILIMAP_NO_ERROR)
        fail(r, doing);
    for (clistiter *it = clist_begin(result); it; it = clist_next(it))
        opened.uids.append(*static_cast<uint32_t *>(clist_content(it)));
    mailimap_search_result_free(result);
    std::sort(opened.uids.begin(), opened.uids.end());
    opened.uids.erase(std::unique(opened.uids.begin(), opened.uids.end()), opened.uids.end());
    return opened;
}

void Session::fetchSummaries(const QList<quint32> &uids, const QByteArrayList &fields,
                             const std::function<void(MessageSummary)> &each)
{
    ensureUsable();
    for (qsizetype start = 0; start < uids.size(); start += SummaryBatch) {
        const QList<quint32> batch = uids.mid(start, SummaryBatch);
        SetHolder set(batch);
        mailimap_fetch_type *type = mailimap_fetch_type_new_fetch_att_list_empty();
        mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_uid());
        mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_rfc822_size());
        clist *names = clist_new();
        for (const QByteArray &field : fields)
            clist_append(names, strdup(field.constData()));
        mailimap_section *section = mailimap_section_new_header_fields(mailimap_header_list_new(names));
        mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_body_peek_section(section));
        FetchResult result;
        m_impl->limit.start(64 * Overhead);
        const int r = mailimap_uid_fetch(m_impl->imap, set.set, type, &result.list);
        mailimap_fetch_type_free(type);
        if (r != MAILIMAP_NO_ERROR)
            fail(r, QStringLiteral("reading the messages' headers"));
        for (clistiter *it = clist_begin(result.list); it; it = clist_next(it)) {
            const FetchedItem item = fetched(static_cast<mailimap_msg_att *>(clist_content(it)));
            // Unsolicited or unasked-for answers are not the folder's items.
            if (item.uid == 0 || !std::binary_search(batch.begin(), batch.end(), item.uid))
                continue;
            each(MessageSummary{item.uid, std::max<qint64>(item.size, 0),
                                QByteArray(item.section, qsizetype(item.sectionLength))});
        }
    }
}

void Session::fetchMessages(const QList<MessageSummary> &messages, const std::function<void(quint32, QByteArray)> &each)
{
    ensureUsable();
    for (const MessageSummary &m : messages) {
        if (m.size > MaxMessageSize)
            throw ImapError(ImapError::Kind::TooLarge,
                            QStringLiteral("The message with UID %1 on the server %2 is %3 MB, more than the %4 MB "
                                           "this program reads; it stays on the server.")
                                .arg(m.uid)
                                .arg(serverName(), megabytes(m.size), megabytes(MaxMessageSize)));
    }
    qsizetype start = 0;
    while (start < messages.size()) {
        QList<quint32> batch;
        qint64 bytes = 0;
        qsizetype end = start;
        while (end < messages.size() && batch.size() < BatchMessages
               && (batch.isEmpty() || bytes + messages.at(end).size <= BatchBytes)) {
            bytes += messages.at(end).size;
            batch.append(messages.at(end).uid);
            ++end;
        }
        start = end;
        std::sort(batch.begin(), batch.end());
        SetHolder set(batch);
        mailimap_fetch_type *type = mailimap_fetch_type_new_fetch_att_list_empty();
        mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_uid());
        mailimap_fetch_type_new_fetch_att_list_add(
            type, mailimap_fetch_att_new_body_peek_section(mailimap_section_new(nullptr)));
        FetchResult result;
        m_impl->limit.start(std::size_t(bytes) + Overhead + std::size_t(batch.size()) * 256);
        const int r = mailimap_uid_fetch(m_impl->imap, set.set, type, &result.list);
        mailimap_fetch_type_free(type);
        if (r != MAILIMAP_NO_ERROR)
            fail(r, QStringLiteral("reading messages"));
        for (clistiter *it = clist_begin(result.list); it; it = clist_next(it)) {
            const FetchedItem item = fetched(static_cast<mailimap_msg_att *>(clist_content(it)));
            if (item.uid == 0 || !item.section || !std::binary_search(batch.begin(), batch.end(), item.uid))
                continue;
            each(item.uid, QByteArray(item.section, qsizetype(item.sectionLength)));
        }
    }
}

int Session::tryMove(const QList<quint32> &uids, const QByteArray &target)
{
    SetHolder set(uids);
    m_impl->limit.start(16 * Overhead);
    if (m_move)
        return mailimap_uid_move(m_impl->imap, set.set, target.constData());
    if (const int r = mailimap_uid_copy(m_impl->imap, set.set, target.constData()); r != MAILIMAP_NO_ERROR)
        return r;
    mailimap_flag_list *flags = mailimap_flag_list_new_empty();
    mailimap_flag_list_add(flags, mailimap_flag_new_deleted());
    mailimap_store_att_flags *store = mailimap_store_att_flags_new_add_flags_silent(flags);
    const int stored = mailimap_uid_store(m_impl->imap, set.set, store);
    mailimap_store_att_flags_free(store);
    // Only UID EXPUNGE removes just these: a plain EXPUNGE would also take
    // what other clients flagged.
    if (stored != MAILIMAP_NO_ERROR || !m_uidPlus)
        return stored;
    return mailimap_uid_expunge(m_impl->imap, set.set);
}

QList<quint32> Session::present(const QList<quint32> &uids)
{
    mailimap_set *set = SetHolder(uids).release();
    mailimap_search_key *key = mailimap_search_key_new_uid(set);
    clist *result = nullptr;
    m_impl->limit.start(16 * Overhead);
    const int r = mailimap_uid_search(m_impl->imap, nullptr, key, &result);
    mailimap_search_key_free(key);
    if (r != MAILIMAP_NO_ERROR)
        fail(r, QStringLiteral("looking for messages"));
    QList<quint32> found;
    for (clistiter *it = clist_begin(result); it; it = clist_next(it)) {
        const quint32 uid = *static_cast<uint32_t *>(clist_content(it));
        if (std::binary_search(uids.begin(), uids.end(), uid))
            found.append(uid);
    }
    mailimap_search_result_free(result);
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

void Session::moveTo(const QList<quint32> &uids, const QByteArray &target)
{
    ensureUsable();
    if (uids.isEmpty())
        return;
    const QString doing = QStringLiteral("moving messages to %1").arg(QString::fromUtf8(target));
    const int r = tryMove(uids, target);
    if (r == MAILIMAP_NO_ERROR)
        return;
    if (r == MAILIMAP_ERROR_STREAM || r == MAILIMAP_ERROR_PARSE || r == MAILIMAP_ERROR_MEMORY || m_impl->limit.exceeded)
        fail(r, doing);
    std::optional<ImapError> refused;
    try {
        fail(r, doing);
    } catch (const ImapError &e) {
        refused = e;
    }
    // A server refuses the whole set when another client removed some of
    // it meanwhile; those are gone as asked, the rest are moved. Where even
    // that fails (the mailbox itself went), the refusal says why.
    QList<quint32> left;
    try {
        left = present(uids);
    } catch (const ImapError &) {
        throw *refused;
    }
    if (left.isEmpty())
        return;
    if (left.size() == uids.size())
        throw *refused;
    if (const int again = tryMove(left, target); again != MAILIMAP_NO_ERROR)
        fail(again, doing);
}

} // namespace platform::imap
