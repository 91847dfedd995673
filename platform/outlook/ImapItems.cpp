#include "platform/outlook/ImapObjects.h"

#include "platform/outlook/MailMessage.h"

#include <QHash>
#include <QSet>

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

// Held for every message of the folder while it is open: kept small.
struct Summary
{
    static constexpr qint64 Unknown = std::numeric_limits<qint64>::min();
    qint64 size = 0;
    qint64 receivedMs = Unknown; // the instant; its zone is of no use
    QByteArray messageId;
};

class ImapItem;

} // namespace

// The messages of one mailbox as present when it was opened. Deleted ones
// are moved in batches: a batch waits until the next read from the server,
// or until it is full, so a check's round trips do not grow per message.
class ImapItemList
{
public:
    // One move per batch of bodies read: a Maildir server rescans the whole
    // folder for each command that changes it.
    static constexpr int MoveBatch = Session::BatchMessages;

    ImapItemList(AccountPtr account, QByteArray rawName);
    ~ImapItemList();

    int count() const { return int(m_uids.size()); }
    ObjectPtr item(int index);
    void remove(const ImapItem *item, quint32 uid);
    const Summary &summary(quint32 uid);
    const MailMessage &message(quint32 uid);
    QString entryId(quint32 uid);
    // Once every item was named, waiting moves are made at once.
    void flushIfWalked()
    {
        if (m_visited.size() == m_listed)
            flushMoves();
    }
    QString scope() const { return QString::fromLatin1(m_raw); }
    quint32 uidValidity() const { return m_uidValidity; }

private:
    void summarise();
    void flushMoves();
    // The requested message and its neighbours in the direction of reading.
    QList<MessageSummary> batchFrom(quint32 uid);

    AccountPtr m_account;
    QByteArray m_raw;
    quint32 m_uidValidity = 0;
    QList<quint32> m_uids; // listed, less the deleted
    QList<std::shared_ptr<ImapItem>> m_items;
    std::optional<QHash<quint32, Summary>> m_summaries;
    QHash<quint32, MailMessage> m_messages;
    QList<quint32> m_pendingMoves;
    qsizetype m_lastRead = -1;
    // Items whose identity was read: once every item's was, the walk is at
    // its end and a waiting move is made at once, so its failure is seen.
    QSet<quint32> m_visited;
    qsizetype m_listed = 0;
};

namespace {

class ImapItem : public AutomationObject
{
public:
    ImapItem(ImapItemList *owner, quint32 uid)
        : m_owner(owner)
        , m_uid(uid)
    {
    }
    void detach() { m_owner = nullptr; }
    QVariant invoke(const QString &member, const QVariantList &) override
    {
        if (m_deleted || !m_owner)
            throw AutomationError(QStringLiteral("The item has been moved or deleted."));
        if (is(member, "delete")) {
            m_deleted = true;
            m_owner->remove(this, m_uid);
            return {};
        }
        if (is(member, "EntryID"))
            return m_owner->entryId(m_uid);
        if (is(member, "InternetMessageID")) {
            // Not on EntryID: a caller may take its failure for a store that
            // names no items, and this one is the server's.
            m_owner->flushIfWalked();
            return QString::fromUtf8(m_owner->summary(m_uid).messageId);
        }
        // EntryIDs hold while the mailbox keeps its UID validity.
        if (is(member, "EntryIDScope"))
            return m_owner->scope();
        if (is(member, "EntryIDGeneration"))
            return qint64(m_owner->uidValidity());
        if (is(member, "Size"))
            return m_owner->summary(m_uid).size;
        if (is(member, "ReceivedTime")) {
            const qint64 received = m_owner->summary(m_uid).receivedMs;
            return received == Summary::Unknown ? QVariant()
                                                : QVariant(QDateTime::fromMSecsSinceEpoch(received, Qt::UTC));
        }
        const MailMessage &m = m_owner->message(m_uid);
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
    ImapItemList *m_owner;
    quint32 m_uid;
    bool m_deleted = false;
};

} // namespace

ImapItemList::ImapItemList(AccountPtr account, QByteArray rawName)
    : m_account(std::move(account))
    , m_raw(std::move(rawName))
{
    const auto opened = m_account->select(m_raw);
    m_uidValidity = opened.uidValidity;
    m_uids = opened.uids;
    m_listed = m_uids.size();
    m_items.resize(m_uids.size());
}

QString ImapItemList::entryId(quint32 uid)
{
    m_visited.insert(uid);
    return QStringLiteral("%1/%2/%3").arg(QString::fromLatin1(m_raw)).arg(m_uidValidity).arg(uid);
}

ImapItemList::~ImapItemList()
{
    for (auto &item : m_items) {
        if (item)
            item->detach();
    }
    // What is not moved now stays recorded as handled and moves next time.
    try {
        flushMoves();
    } catch (const std::exception &) {
    }
}

ObjectPtr ImapItemList::item(int index)
{
    auto &slot = m_items[index - 1];
    if (!slot)
        slot = std::make_shared<ImapItem>(this, m_uids.at(index - 1));
    return slot;
}

void ImapItemList::remove(const ImapItem *item, quint32 uid)
{
    for (qsizetype i = m_items.size() - 1; i >= 0; --i) {
        if (m_items.at(i).get() == item) {
            m_items.removeAt(i);
            m_uids.removeAt(i);
            break;
        }
    }
    m_messages.remove(uid);
    if (m_summaries)
        m_summaries->remove(uid);
    m_pendingMoves.append(uid);
    if (m_pendingMoves.size() >= MoveBatch || m_visited.size() == m_listed)
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
    if (m_summaries)
        return;
    flushMoves();
    m_account->ensureSelected(m_raw, m_uidValidity);
    QHash<quint32, Summary> summaries;
    summaries.reserve(m_uids.size());
    guarded([&] {
        m_account->session().fetchSummaries(m_uids, {"MESSAGE-ID", "RECEIVED", "DATE"}, [&](MessageSummary m) {
            const QDateTime received = receivedTime(m.header);
            summaries.insert(m.uid,
                             Summary{m.size, received.isValid() ? received.toMSecsSinceEpoch() : Summary::Unknown,
                                     headerValue(m.header, "Message-ID")});
        });
    });
    m_summaries = std::move(summaries);
}

const Summary &ImapItemList::summary(quint32 uid)
{
    summarise();
    const auto it = m_summaries->constFind(uid);
    if (it == m_summaries->constEnd())
        throw AutomationError(QStringLiteral("The message with UID %1 in %2 on the server %3 was removed by another "
                                             "program.")
                                  .arg(uid)
                                  .arg(m_account->displayName(m_raw), m_account->session().serverName()));
    return *it;
}

QList<MessageSummary> ImapItemList::batchFrom(quint32 uid)
{
    const qsizetype at = m_uids.indexOf(uid);
    const int step = at >= 0 && m_lastRead >= 0 && at < m_lastRead ? -1 : 1;
    m_lastRead = at;
    QList<MessageSummary> batch{{uid, summary(uid).size, {}}};
    qint64 bytes = batch.first().size;
    for (qsizetype i = at + step; at >= 0 && i >= 0 && i < m_uids.size(); i += step) {
        const auto s = m_summaries->constFind(m_uids.at(i));
        if (s == m_summaries->constEnd() || s->size > Session::MaxMessageSize)
            continue;
        if (batch.size() >= Session::BatchMessages || bytes + s->size > Session::BatchBytes)
            break;
        bytes += s->size;
        batch.append({m_uids.at(i), s->size, {}});
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
        throw AutomationError(QStringLiteral("The message with UID %1 in %2 on the server %3 was removed by another "
                                             "program.")
                                  .arg(uid)
                                  .arg(m_account->displayName(m_raw), m_account->session().serverName()));
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
