#include "platform/outlook/LocalObjects.h"

#include "platform/outlook/ItemSlots.h"
#include "platform/outlook/MailMessage.h"
#include "platform/outlook/MessageText.h"
#include "platform/vcard/VCard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace platform::outlook::local {

using platform::vcard::readVCards;
using platform::vcard::VCardContact;

// A message or a contact card in a folder.
class LocalItem : public AutomationObject, public NumberedMembers
{
public:
    LocalItem(StorePtr store, QString path, ItemList *owner, qsizetype slot)
        : m_store(std::move(store))
        , m_path(std::move(path))
        , m_unique(Maildir::uniqueName(m_path.sliced(m_path.lastIndexOf(QLatin1Char('/')) + 1)))
        , m_owner(owner)
        , m_slot(slot)
    {
    }
    ~LocalItem() override;
    QVariant invoke(const QString &member, const QVariantList &args) override;
    int memberNumber(const QString &member) const override;
    QVariant invokeNumber(int number, const QVariantList &args) override;
    NumberedMembers *numberedMembers() override { return this; }
    void detach() { m_owner = nullptr; }

private:
    // A mail client working on the same store renames messages as it marks
    // them (new/ to cur/, flags after ":2,"): the item stays the same under
    // its unique name, so each file operation finds it again and retries.
    static constexpr int Attempts = 8;
    // False when no file of the folder has the item's unique name any more.
    bool locate();
    void requireHere() const;
    void load();
    void remove();
    QDateTime receivedTime();

    StorePtr m_store;
    QString m_path;
    QString m_unique;
    ItemList *m_owner;
    qsizetype m_slot;
    bool m_deleted = false;
    std::optional<MailMessage> m_message;
    std::optional<VCardContact> m_contact;
    std::optional<QDateTime> m_received;
};

// The folder's files as listed when it was opened, less those deleted.
class ItemList
{
public:
    // The store's root (no directory) holds folders only.
    ItemList(StorePtr store, const QString &dir)
        : m_store(std::move(store))
        , m_paths(dir.isEmpty() ? QStringList() : Maildir::messageFiles(dir))
        , m_items(size_t(m_paths.size()))
    {
        m_slots.reset(size_t(m_paths.size()));
    }
    ~ItemList()
    {
        for (auto &held : m_items) {
            if (const auto item = held.lock())
                item->detach();
        }
    }
    int count() const { return m_slots.count(); }
    ObjectPtr item(int index)
    {
        const qsizetype slot = m_slots.slotOf(index);
        auto &held = m_items[size_t(slot)];
        auto item = held.lock();
        if (!item) {
            item = std::make_shared<LocalItem>(m_store, m_paths.at(slot), this, slot);
            held = item;
        }
        return item;
    }
    void remove(qsizetype slot)
    {
        if (m_slots.remove(slot))
            m_items[size_t(slot)].reset();
    }
    // An item let go of its last user: its memory goes with it, instead of
    // staying held by the list's reference until the folder is closed.
    void forget(qsizetype slot)
    {
        auto &held = m_items[size_t(slot)];
        if (held.expired())
            held.reset();
    }

private:
    StorePtr m_store;
    QStringList m_paths;
    // Held by whoever asked for them only: a check over a large folder
    // would otherwise keep every message it leaves in the folder, parsed.
    std::vector<std::weak_ptr<LocalItem>> m_items;
    ItemSlots m_slots;
};

namespace {

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The header section only: a check reads it of every message, to order
// them, before any body. Most headers end within the first read. False,
// with errno set, when the file cannot be read.
bool readHeader(const QString &path, QByteArray *header)
{
    constexpr qsizetype MaxHeader = 1 << 20;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    qsizetype used = 0;
    qsizetype chunk = 4096;
    while (used < MaxHeader) {
        header->resize(used + chunk);
        const ssize_t got = ::read(fd, header->data() + used, size_t(chunk));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            errno = error;
            return false;
        }
        if (got == 0)
            break;
        const qsizetype searchFrom = std::max<qsizetype>(0, used - 2);
        used += got;
        const QByteArrayView read(header->constData(), used);
        if (mailtext::blankLineAt(read, searchFrom) >= 0)
            break;
        chunk = 64 * 1024;
    }
    ::close(fd);
    header->resize(used);
    return true;
}

// The first such header's value, its folds joined by one blank.
QByteArray headerValue(QByteArrayView header, QByteArrayView name)
{
    QByteArray value;
    bool inValue = false;
    while (!header.isEmpty()) {
        const qsizetype eol = header.indexOf('\n');
        QByteArrayView line = eol < 0 ? header : header.first(eol);
        header = eol < 0 ? QByteArrayView() : header.sliced(eol + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            break;
        if (line.front() == ' ' || line.front() == '\t') {
            if (inValue)
                value += ' ' + line.trimmed().toByteArray();
            continue;
        }
        if (inValue)
            break;
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.first(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            inValue = true;
            value = line.sliced(colon + 1).trimmed().toByteArray();
        }
    }
    return value.trimmed();
}

// The topmost Received line is the delivery into this mailbox; a message
// without one falls back on its Date, then on its file's arrival. In UTC:
// the check only orders by it, and local time costs a zone look-up each.
QDateTime receivedTimeOf(const QByteArray &header, const QString &path)
{
    const QByteArray received = headerValue(header, "Received");
    const qsizetype semicolon = received.lastIndexOf(';');
    if (semicolon >= 0) {
        const QDateTime t = MailMessage::parseDate(received.mid(semicolon + 1).trimmed(), Qt::UTC);
        if (t.isValid())
            return t;
    }
    if (const QDateTime t = MailMessage::parseDate(headerValue(header, "Date"), Qt::UTC); t.isValid())
        return t;
    const qint64 arrival = Maildir::arrivalTime(QFileInfo(path).fileName());
    return arrival > 0 ? QDateTime::fromSecsSinceEpoch(arrival, Qt::UTC) : QDateTime();
}

// Windows tools write exported cards with a byte order mark.
bool isVCard(QByteArrayView head)
{
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.sliced(3);
    return head.trimmed()
               .first(std::min<qsizetype>(head.trimmed().size(), 11))
               .compare("BEGIN:VCARD", Qt::CaseInsensitive)
           == 0;
}

enum Member {
    Delete,
    EntryID,
    InternetMessageID,
    ReceivedTime,
    Email1Address,
    FullName,
    Subject,
    Body,
    SentOn,
    Reply,
    Recipients,
    SenderEmailAddress,
    DeliveryStatus,
    HeaderText,
    ReturnedHeaders,
};

constexpr const char *MemberNames[] = {"delete",         "EntryID",    "InternetMessageID", "ReceivedTime",
                                       "Email1Address",  "FullName",   "subject",           "body",
                                       "senton",         "Reply",      "Recipients",        "SenderEmailAddress",
                                       "DeliveryStatus", "HeaderText", "ReturnedHeaders"};

} // namespace

LocalItem::~LocalItem()
{
    if (m_owner)
        m_owner->forget(m_slot);
}

bool LocalItem::locate()
{
    if (Maildir::isMessageFile(m_path))
        return true;
    const QString folderDir = QFileInfo(QFileInfo(m_path).path()).path();
    const QString found = Maildir::findMessage(folderDir, m_unique);
    if (found.isEmpty())
        return false;
    m_path = found;
    return true;
}

void LocalItem::requireHere() const
{
    if (m_deleted)
        throw AutomationError(QStringLiteral("The item has been moved or deleted."));
}

void LocalItem::load()
{
    requireHere();
    if (m_message || m_contact)
        return;
    // Read first, look for the file only when that fails: most items are
    // where they were listed.
    for (int attempt = 1;; ++attempt) {
        try {
            QByteArray card;
            MailMessage message = MailMessage::fromFile(m_path, isVCard, &card);
            if (card.isNull()) {
                m_message = std::move(message);
            } else {
                const QList<VCardContact> cards = readVCards(card);
                m_contact = cards.isEmpty() ? VCardContact{} : cards.first();
            }
            return;
        } catch (const MessageReadError &e) {
            if (attempt >= Attempts || Maildir::isMessageFile(m_path))
                throw AutomationError(e.message());
            if (!locate())
                throw AutomationError(
                    QStringLiteral("The message %1 cannot be read: another program has moved or deleted it.")
                        .arg(shown(m_path)));
        }
    }
}

QDateTime LocalItem::receivedTime()
{
    requireHere();
    for (int attempt = 1; !m_received; ++attempt) {
        QByteArray header;
        if (readHeader(m_path, &header)) {
            m_received = receivedTimeOf(header, m_path);
            continue;
        }
        const QString reason = qt_error_string(errno);
        if (attempt >= Attempts || Maildir::isMessageFile(m_path)) {
            throw AutomationError(QStringLiteral("The message %1 cannot be read: %2").arg(shown(m_path), reason));
        } else if (!locate()) {
            throw AutomationError(
                QStringLiteral("The message %1 cannot be read: another program has moved or deleted it.")
                    .arg(shown(m_path)));
        }
    }
    return *m_received;
}

void LocalItem::remove()
{
    requireHere();
    const QString bin = [this] {
        try {
            return m_store->deletedItemsDir();
        } catch (const std::runtime_error &e) {
            throw AutomationError(QString::fromUtf8(e.what()));
        }
    }();
    for (int attempt = 1;; ++attempt) {
        try {
            Maildir::moveMessage(m_path, bin);
            break;
        } catch (const std::runtime_error &e) {
            if (attempt >= Attempts || Maildir::isMessageFile(m_path))
                throw AutomationError(QString::fromUtf8(e.what()));
            // Gone from the folder already (another program moved it): that
            // is what deleting it asks for.
            if (!locate())
                break;
        }
    }
    m_deleted = true;
    if (m_owner)
        m_owner->remove(m_slot);
}

int LocalItem::memberNumber(const QString &member) const
{
    for (int i = 0; i < int(std::size(MemberNames)); ++i) {
        if (is(member, MemberNames[i]))
            return i;
    }
    return -1;
}

QVariant LocalItem::invoke(const QString &member, const QVariantList &args)
{
    const int number = memberNumber(member);
    if (number < 0)
        unknownMember(member);
    return invokeNumber(number, args);
}

QVariant LocalItem::invokeNumber(int number, const QVariantList &)
{
    switch (number) {
    case Delete:
        remove();
        return {};
    case EntryID:
        requireHere();
        return m_unique;
    case ReceivedTime: {
        const QDateTime received = receivedTime();
        return received.isValid() ? QVariant(received) : QVariant();
    }
    default:
        break;
    }
    load();
    if (m_contact) {
        switch (number) {
        case InternetMessageID:
        case Body:
            return QString();
        case Email1Address:
            return m_contact->emails.value(0);
        case FullName:
        case Subject:
            return m_contact->fullName;
        default:
            unknownMember(QLatin1String(MemberNames[number]));
        }
    }
    switch (number) {
    case InternetMessageID:
        return m_message->messageId();
    case Subject:
        return m_message->subject();
    case Body:
        return m_message->body();
    case SentOn: {
        const QDateTime sent = m_message->sentOn();
        return sent.isValid() ? QVariant(sent) : QVariant();
    }
    case Reply:
        return wrap(std::make_shared<MessageReply>(m_message->replyTo()));
    case Recipients:
        return wrap(std::make_shared<MessageRecipients>(m_message->recipients()));
    case SenderEmailAddress:
        return m_message->from().address;
    case DeliveryStatus:
        return m_message->deliveryStatus();
    case HeaderText:
        return m_message->headerText();
    case ReturnedHeaders:
        return m_message->returnedHeaders();
    default:
        unknownMember(QLatin1String(MemberNames[number]));
    }
}

class LocalItems : public AutomationObject
{
public:
    explicit LocalItems(std::shared_ptr<ItemList> list)
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
    std::shared_ptr<ItemList> m_list;
};

std::shared_ptr<ItemList> listItems(StorePtr store, const QString &dir)
{
    return std::make_shared<ItemList>(std::move(store), dir);
}

ObjectPtr itemAt(ItemList &list, const QVariantList &args)
{
    return list.item(indexArgument(args, list.count()));
}

ObjectPtr itemsObject(std::shared_ptr<ItemList> list)
{
    return std::make_shared<LocalItems>(std::move(list));
}

} // namespace platform::outlook::local
