#include "platform/outlook/ImapObjects.h"

#include "platform/outlook/ItemSlots.h"
#include "platform/outlook/MailMessage.h"

#include <QHash>

#include <algorithm>
#include <limits>
#include <optional>

namespace platform::outlook::imapstore {

using platform::imap::MessageSummary;
using platform::imap::Session;

namespace {

// A header field's first value, its folds joined by one blank.
QByteArray headerValue(const QByteArray &header, const char *name)
{
    QByteArray value;
    bool inValue = false;
    for (QByteArray line : header.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            break;
        if (line.front() == ' ' || line.front() == '\t') {
            if (inValue)
                value += ' ' + line.trimmed();
            continue;
        }
        if (inValue)
            break;
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.first(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            inValue = true;
            value = line.mid(colon + 1).trimmed();
        }
    }
    return value.trimmed();
}

// The topmost Received line is the delivery into this mailbox, as on the
// local store; else the Date.
QDateTime receivedTime(const QByteArray &header)
{
    const QByteArray received = headerValue(header, "Received");
    const qsizetype semicolon = received.lastIndexOf(';');
    if (semicolon >= 0) {
        if (const QDateTime t = MailMessage::parseDate(received.mid(semicolon + 1).trimmed()); t.isValid())
            return t;
    }
    return MailMessage::parseDate(headerValue(header, "Date"));
}

// Held for every message of the folder while it is open: kept to a few
// numbers, the Message-IDs' text held in one block for all, so a folder of
// 100,000 costs little more than one of 1,000.
struct Summary
{
    static constexpr qint64 Unknown = std::numeric_limits<qint64>::min();
    static constexpr qint64 Absent = -1; // gone from the server
    qint64 size = Absent;
    qint64 receivedMs = Unknown; // the instant; its zone is of no use
    quint32 idStart = 0;
    quint32 idLength = 0;
};

} // namespace

// The messages of one mailbox as present when it was opened. Deleted ones
// are moved in batches: a batch waits until the next read from the server,
// or until it is full, so a check's round trips do not grow per message.
// Items are made when asked for and not kept: an item names its message
// by UID, and the list knows by slot which were deleted.
class ImapItemList : public std::enable_shared_from_this<ImapItemList>
{
public:
    // One move per batch of bodies read: a Maildir server rescans the whole
    // folder for each command that changes it.
    static constexpr int MoveBatch = Session::BatchMessages;

    ImapItemList(AccountPtr account, QByteArray rawName);
    ~ImapItemList();

    int count() const { return m_slots.count(); }
    ObjectPtr item(int index);
    bool removed(quint32 uid) const;
    void remove(quint32 uid);
    const Summary &summary(quint32 uid);
    QString messageId(quint32 uid);
    const MailMessage &message(quint32 uid);
    QString entryId(quint32 uid);
    // Once every item was named, waiting moves are made at once.
    void flushIfWalked()
    {
        if (m_named == m_uids.size())
            flushMoves();
    }
    QString scope() const { return QString::fromLatin1(m_raw); }
    quint32 uidValidity() const { return m_uidValidity; }

private:
    void summarise();
    void flushMoves();
    // The slot of a listed UID (listed in ascending order); -1 if not listed.
    qsizetype slotOf(quint32 uid) const;
    QString removedByOthers(quint32 uid) const;
    // The requested message and its neighbours in the direction of reading.
    QList<MessageSummary> batchFrom(quint32 uid);

    AccountPtr m_account;
    QByteArray m_raw;
    quint32 m_uidValidity = 0;
    std::vector<quint32> m_uids; // as listed; deleted ones stay, marked in m_slots
    ItemSlots m_slots;
    std::vector<Summary> m_summaries; // by slot, once read
    QByteArray m_messageIds;
    QHash<quint32, MailMessage> m_messages;
    QList<quint32> m_pendingMoves;
    qsizetype m_lastRead = -1;
    // Items whose identity was read: once every item's was, the walk is at
    // its end and a waiting move is made at once, so its failure is seen.
    std::vector<bool> m_wasNamed;
    size_t m_named = 0;
};

namespace {

class ImapItem : public AutomationObject
{
public:
    ImapItem(std::weak_ptr<ImapItemList> owner, quint32 uid)
        : m_owner(std::move(owner))
        , m_uid(uid)
    {
    }
    QVariant invoke(const QString &member, const QVariantList &) override
    {
        const std::shared_ptr<ImapItemList> owner = m_owner.lock();
        if (!owner || owner->removed(m_uid))
            throw AutomationError(QStringLiteral("The item has been moved or deleted."));
        if (is(member, "delete")) {
            owner->remove(m_uid);
            return {};
        }
        if (is(member, "EntryID"))
            return owner->entryId(m_uid);
        if (is(member, "InternetMessageID")) {
            // Not on EntryID: a caller may take its failure for a store that
            // names no items, and this one is the server's.
            owner->flushIfWalked();
            return owner->messageId(m_uid);
        }
        // EntryIDs hold while the mailbox keeps its UID validity.
        if (is(member, "EntryIDScope"))
            return owner->scope();
        if (is(member, "EntryIDGeneration"))
            return qint64(owner->uidValidity());
        if (is(member, "Size"))
            return owner->summary(m_uid).size;
        if (is(member, "ReceivedTime")) {
            const qint64 received = owner->summary(m_uid).receivedMs;
            return received == Summary::Unknown ? QVariant()
                                                : QVariant(QDateTime::fromMSecsSinceEpoch(received, Qt::UTC));
        }
        const MailMessage &m = owner->message(m_uid);
        if (is(member, "subject"))
            return m.subject();
        if (is(member, "body"))
            return m.body();
        if (is(member, "senton")) {
            const QDateTime sent = m.sentOn();
            return sent.isValid() ? QVariant(sent) : QVariant();
        }
        if (is(member, "Reply"))
            return wrap(std::make_shared<MessageReply>(m.replyTo()));
        if (is(member, "Recipients"))
            return wrap(std::make_shared<MessageRecipients>(m.recipients()));
        if (is(member, "SenderEmailAddress"))
            return m.from().address;
        if (is(member, "DeliveryStatus"))
            return m.deliveryStatus();
        if (is(member, "HeaderText"))
            return m.headerText();
        if (is(member, "ReturnedHeaders"))
            return m.returnedHeaders();
        unknownMember(member);
    }

private:
    std::weak_ptr<ImapItemList> m_owner;
    quint32 m_uid;
};

} // namespace

ImapItemList::ImapItemList(AccountPtr account, QByteArray rawName)
    : m_account(std::move(account))
    , m_raw(std::move(rawName))
{
    const auto opened = m_account->select(m_raw);
    m_uidValidity = opened.uidValidity;
    m_uids.assign(opened.uids.begin(), opened.uids.end());
    std::sort(m_uids.begin(), m_uids.end());
    m_uids.erase(std::unique(m_uids.begin(), m_uids.end()), m_uids.end());
    m_slots.reset(m_uids.size());
    m_wasNamed.assign(m_uids.size(), false);
}

qsizetype ImapItemList::slotOf(quint32 uid) const
{
    const auto it = std::lower_bound(m_uids.begin(), m_uids.end(), uid);
    return it != m_uids.end() && *it == uid ? qsizetype(it - m_uids.begin()) : -1;
}

QString ImapItemList::entryId(quint32 uid)
{
    if (const qsizetype slot = slotOf(uid); slot >= 0 && !m_wasNamed[size_t(slot)]) {
        m_wasNamed[size_t(slot)] = true;
        ++m_named;
    }
    return QStringLiteral("%1/%2/%3").arg(QString::fromLatin1(m_raw)).arg(m_uidValidity).arg(uid);
}

ImapItemList::~ImapItemList()
{
    // What is not moved now stays recorded as handled and moves next time.
    try {
        flushMoves();
    } catch (const std::exception &) {
    }
}

ObjectPtr ImapItemList::item(int index)
{
    return std::make_shared<ImapItem>(weak_from_this(), m_uids[size_t(m_slots.slotOf(index))]);
}

bool ImapItemList::removed(quint32 uid) const
{
    const qsizetype slot = slotOf(uid);
    return slot < 0 || m_slots.isRemoved(slot);
}

void ImapItemList::remove(quint32 uid)
{
    m_slots.remove(slotOf(uid));
    m_messages.remove(uid);
    m_pendingMoves.append(uid);
    if (m_pendingMoves.size() >= MoveBatch || m_named == m_uids.size())
        flushMoves();
}

void ImapItemList::flushMoves()
{
    if (m_pendingMoves.isEmpty())
        return;
    QList<quint32> uids = std::exchange(m_pendingMoves, {});
    std::sort(uids.begin(), uids.end());
    const QByteArray trash = m_account->trash();
    m_account->ensureSelected(m_raw, m_uidValidity);
    guarded([&] { m_account->session().moveTo(uids, trash); });
}

void ImapItemList::summarise()
{
    if (!m_summaries.empty() || m_uids.empty())
        return;
    flushMoves();
    m_account->ensureSelected(m_raw, m_uidValidity);
    std::vector<Summary> summaries(m_uids.size());
    QByteArray ids;
    const QList<quint32> uids(m_uids.begin(), m_uids.end());
    guarded([&] {
        m_account->session().fetchSummaries(uids, {"MESSAGE-ID", "RECEIVED", "DATE"}, [&](MessageSummary m) {
            const qsizetype slot = slotOf(m.uid);
            if (slot < 0)
                return;
            const QDateTime received = receivedTime(m.header);
            const QByteArray id = headerValue(m.header, "Message-ID");
            summaries[size_t(slot)]
                = Summary{m.size, received.isValid() ? received.toMSecsSinceEpoch() : Summary::Unknown,
                          quint32(ids.size()), quint32(id.size())};
            ids += id;
        });
    });
    m_summaries = std::move(summaries);
    m_messageIds = std::move(ids);
}

QString ImapItemList::removedByOthers(quint32 uid) const
{
    return QStringLiteral("The message with UID %1 in %2 on the server %3 was removed by another program.")
        .arg(uid)
        .arg(m_account->displayName(m_raw), m_account->session().serverName());
}

const Summary &ImapItemList::summary(quint32 uid)
{
    summarise();
    const qsizetype slot = slotOf(uid);
    if (slot < 0 || m_summaries[size_t(slot)].size == Summary::Absent)
        throw AutomationError(removedByOthers(uid));
    return m_summaries[size_t(slot)];
}

QString ImapItemList::messageId(quint32 uid)
{
    const Summary &s = summary(uid);
    return QString::fromUtf8(QByteArrayView(m_messageIds).sliced(s.idStart, s.idLength));
}

QList<MessageSummary> ImapItemList::batchFrom(quint32 uid)
{
    const qsizetype at = slotOf(uid);
    const int step = at >= 0 && m_lastRead >= 0 && at < m_lastRead ? -1 : 1;
    m_lastRead = at;
    QList<MessageSummary> batch{{uid, summary(uid).size, {}}};
    qint64 bytes = batch.first().size;
    for (qsizetype i = at + step; at >= 0 && i >= 0 && i < qsizetype(m_uids.size()); i += step) {
        const Summary &s = m_summaries[size_t(i)];
        if (m_slots.isRemoved(i) || s.size == Summary::Absent || s.size > Session::MaxMessageSize)
            continue;
        if (batch.size() >= Session::BatchMessages || bytes + s.size > Session::BatchBytes)
            break;
        bytes += s.size;
        batch.append({m_uids[size_t(i)], s.size, {}});
    }
    return batch;
}

const MailMessage &ImapItemList::message(quint32 uid)
{
    if (const auto it = m_messages.constFind(uid); it != m_messages.constEnd())
        return *it;
    const QList<MessageSummary> batch = batchFrom(uid);
    flushMoves();
    m_account->ensureSelected(m_raw, m_uidValidity);
    m_messages.clear();
    guarded([&] {
        m_account->session().fetchMessages(batch, [&](quint32 fetched, QByteArray bytes) {
            m_messages.insert(fetched, MailMessage::fromBytes(bytes));
        });
    });
    const auto it = m_messages.constFind(uid);
    if (it == m_messages.constEnd())
        throw AutomationError(removedByOthers(uid));
    return *it;
}

namespace {

class ImapItems : public AutomationObject
{
public:
    explicit ImapItems(std::shared_ptr<ImapItemList> list)
        : m_list(std::move(list))
    {
    }
    QVariant invoke(const QString &member, const QVariantList &args) override
    {
        if (is(member, "Count"))
            return m_list->count();
        if (is(member, "Item"))
            return wrap(m_list->item(indexArgument(args, m_list->count())));
        unknownMember(member);
    }

private:
    std::shared_ptr<ImapItemList> m_list;
};

} // namespace

std::shared_ptr<ImapItemList> openItems(AccountPtr account, const QByteArray &rawName)
{
    return std::make_shared<ImapItemList>(std::move(account), rawName);
}

ObjectPtr itemsObject(std::shared_ptr<ImapItemList> list)
{
    return std::make_shared<ImapItems>(std::move(list));
}

} // namespace platform::outlook::imapstore
