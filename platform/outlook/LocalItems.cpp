#include "platform/outlook/LocalObjects.h"

#include "platform/outlook/MailMessage.h"
#include "platform/vcard/VCard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace platform::outlook::local {

using platform::vcard::readVCards;
using platform::vcard::VCardContact;

class LocalRecipient : public AutomationObject
{
public:
    explicit LocalRecipient(MailAddress a)
        : m_address(std::move(a))
    {
    }
    QVariant invoke(const QString &member, const QVariantList &) override
    {
        if (is(member, "Address"))
            return m_address.address;
        if (is(member, "Name"))
            return m_address.name.isEmpty() ? m_address.address : m_address.name;
        unknownMember(member);
    }

private:
    MailAddress m_address;
};

class LocalRecipients : public AutomationObject
{
public:
    explicit LocalRecipients(QList<MailAddress> list)
        : m_list(std::move(list))
    {
    }
    QVariant invoke(const QString &member, const QVariantList &args) override
    {
        if (is(member, "Count"))
            return int(m_list.size());
        if (is(member, "Item"))
            return item(args);
        unknownMember(member);
    }
    QVariant item(const QVariantList &args)
    {
        return wrap(std::make_shared<LocalRecipient>(m_list.at(indexArgument(args, int(m_list.size())) - 1)));
    }

private:
    QList<MailAddress> m_list;
};

class LocalReply : public AutomationObject
{
public:
    explicit LocalReply(MailAddress to)
        : m_recipients(std::make_shared<LocalRecipients>(QList<MailAddress>{std::move(to)}))
    {
    }
    QVariant invoke(const QString &member, const QVariantList &args) override
    {
        if (is(member, "Recipients"))
            return args.isEmpty() ? wrap(m_recipients) : m_recipients->item(args);
        unknownMember(member);
    }

private:
    std::shared_ptr<LocalRecipients> m_recipients;
};

// A message or a contact card in a folder.
class LocalItem : public AutomationObject
{
public:
    LocalItem(StorePtr store, QString path, ItemList *owner)
        : m_store(std::move(store))
        , m_path(std::move(path))
        , m_unique(Maildir::uniqueName(QFileInfo(m_path).fileName()))
        , m_owner(owner)
    {
    }
    QVariant invoke(const QString &member, const QVariantList &args) override;
    void detach() { m_owner = nullptr; }

private:
    // A mail client working on the same store renames messages as it marks
    // them (new/ to cur/, flags after ":2,"): the item stays the same under
    // its unique name, so each file operation finds it again and retries.
    static constexpr int Attempts = 8;
    // False when no file of the folder has the item's unique name any more.
    bool locate();
    void load();
    void remove();
    struct HeaderFields
    {
        QString messageId;
        QDateTime received;
    };
    const HeaderFields &headerFields();

    StorePtr m_store;
    QString m_path;
    QString m_unique;
    ItemList *m_owner;
    bool m_deleted = false;
    std::optional<MailMessage> m_message;
    std::optional<VCardContact> m_contact;
    std::optional<HeaderFields> m_header;
};

class ItemList
{
public:
    // The store's root (no directory) holds folders only.
    ItemList(StorePtr store, const QString &dir)
        : m_store(std::move(store))
        , m_paths(dir.isEmpty() ? QStringList() : Maildir::messageFiles(dir))
    {
        m_items.resize(m_paths.size());
    }
    ~ItemList()
    {
        for (auto &item : m_items) {
            if (item)
                item->detach();
        }
    }
    int count() const { return int(m_paths.size()); }
    ObjectPtr item(int index)
    {
        auto &slot = m_items[index - 1];
        if (!slot)
            slot = std::make_shared<LocalItem>(m_store, m_paths.at(index - 1), this);
        return slot;
    }
    // Later items move down by one, as the client's collections do.
    void remove(const LocalItem *item)
    {
        // From the end: callers delete from the last item down, so this stays linear.
        for (qsizetype i = m_items.size() - 1; i >= 0; --i) {
            if (m_items.at(i).get() == item) {
                m_items.removeAt(i);
                m_paths.removeAt(i);
                return;
            }
        }
    }

private:
    StorePtr m_store;
    QStringList m_paths;
    QList<std::shared_ptr<LocalItem>> m_items;
};

namespace {

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The header section only: a check reads it of every message before any body.
QByteArray readHeader(QFile &file)
{
    constexpr qint64 MaxHeader = 1 << 20;
    QByteArray header;
    while (header.size() < MaxHeader) {
        const QByteArray chunk = file.read(64 * 1024);
        if (chunk.isEmpty())
            break;
        header += chunk;
        if (header.contains("\n\n") || header.contains("\n\r\n"))
            break;
    }
    return header;
}

// The first such header's value, its folds joined by one blank.
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

// The topmost Received line is the delivery into this mailbox; a message
// without one falls back on its Date, then on its file's arrival.
QDateTime receivedTime(const QByteArray &header, const QString &path)
{
    const QByteArray received = headerValue(header, "Received");
    const qsizetype semicolon = received.lastIndexOf(';');
    if (semicolon >= 0) {
        const QDateTime t = MailMessage::parseDate(received.mid(semicolon + 1).trimmed());
        if (t.isValid())
            return t;
    }
    if (const QDateTime t = MailMessage::parseDate(headerValue(header, "Date")); t.isValid())
        return t;
    const qint64 arrival = Maildir::arrivalTime(QFileInfo(path).fileName());
    return arrival > 0 ? QDateTime::fromSecsSinceEpoch(arrival) : QDateTime();
}

} // namespace

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

void LocalItem::load()
{
    if (m_deleted)
        throw AutomationError(QStringLiteral("The item has been moved or deleted."));
    if (m_message || m_contact)
        return;
    for (int attempt = 1;; ++attempt) {
        if (!locate())
            throw AutomationError(
                QStringLiteral("The message %1 cannot be read: another program has moved or deleted it.")
                    .arg(shown(m_path)));
        try {
            QFile file(m_path);
            if (!file.open(QIODevice::ReadOnly)) {
                if (attempt < Attempts && !Maildir::isMessageFile(m_path))
                    continue; // renamed meanwhile
                throw AutomationError(
                    QStringLiteral("The message %1 cannot be read: %2").arg(shown(m_path), file.errorString()));
            }
            QByteArray head = file.peek(64);
            // Windows tools write exported cards with a byte order mark.
            if (head.startsWith("\xEF\xBB\xBF"))
                head.remove(0, 3);
            if (head.trimmed().toUpper().startsWith("BEGIN:VCARD")) {
                const QList<VCardContact> cards = readVCards(file.readAll());
                m_contact = cards.isEmpty() ? VCardContact{} : cards.first();
            } else {
                file.close();
                m_message = MailMessage::fromFile(m_path);
            }
            return;
        } catch (const MessageReadError &e) {
            if (attempt < Attempts && !Maildir::isMessageFile(m_path))
                continue;
            throw AutomationError(e.message());
        }
    }
}

const LocalItem::HeaderFields &LocalItem::headerFields()
{
    if (m_deleted)
        throw AutomationError(QStringLiteral("The item has been moved or deleted."));
    for (int attempt = 1; !m_header; ++attempt) {
        if (!locate())
            throw AutomationError(
                QStringLiteral("The message %1 cannot be read: another program has moved or deleted it.")
                    .arg(shown(m_path)));
        QFile file(m_path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray header = readHeader(file);
            m_header = HeaderFields{QString::fromUtf8(headerValue(header, "Message-ID")),
                                    receivedTime(header, m_path)};
        } else if (attempt >= Attempts || Maildir::isMessageFile(m_path)) {
            throw AutomationError(
                QStringLiteral("The message %1 cannot be read: %2").arg(shown(m_path), file.errorString()));
        }
    }
    return *m_header;
}

void LocalItem::remove()
{
    if (m_deleted)
        throw AutomationError(QStringLiteral("The item has been moved or deleted."));
    const QString bin = [this] {
        try {
            return m_store->deletedItemsDir();
        } catch (const std::runtime_error &e) {
            throw AutomationError(QString::fromUtf8(e.what()));
        }
    }();
    for (int attempt = 1;; ++attempt) {
        // Gone from the folder already (another program moved it): that is
        // what deleting it asks for.
        if (!locate())
            break;
        try {
            Maildir::moveMessage(m_path, bin);
            break;
        } catch (const std::runtime_error &e) {
            if (attempt < Attempts && !Maildir::isMessageFile(m_path))
                continue;
            throw AutomationError(QString::fromUtf8(e.what()));
        }
    }
    m_deleted = true;
    if (m_owner)
        m_owner->remove(this);
}

QVariant LocalItem::invoke(const QString &member, const QVariantList &)
{
    if (is(member, "delete")) {
        remove();
        return {};
    }
    if (is(member, "EntryID")) {
        if (m_deleted)
            throw AutomationError(QStringLiteral("The item has been moved or deleted."));
        return m_unique;
    }
    if (is(member, "InternetMessageID"))
        return headerFields().messageId;
    if (is(member, "ReceivedTime")) {
        const QDateTime received = headerFields().received;
        return received.isValid() ? QVariant(received) : QVariant();
    }
    load();
    if (m_contact) {
        if (is(member, "Email1Address"))
            return m_contact->emails.value(0);
        if (is(member, "FullName") || is(member, "subject"))
            return m_contact->fullName;
        if (is(member, "body"))
            return QString();
        unknownMember(member);
    }
    if (is(member, "subject"))
        return m_message->subject();
    if (is(member, "body"))
        return m_message->body();
    if (is(member, "senton")) {
        const QDateTime sent = m_message->sentOn();
        return sent.isValid() ? QVariant(sent) : QVariant();
    }
    if (is(member, "Reply"))
        return wrap(std::make_shared<LocalReply>(m_message->replyTo()));
    if (is(member, "Recipients"))
        return wrap(std::make_shared<LocalRecipients>(m_message->recipients()));
    if (is(member, "SenderEmailAddress"))
        return m_message->from().address;
    if (is(member, "DeliveryStatus"))
        return m_message->deliveryStatus();
    unknownMember(member);
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

ObjectPtr itemsObject(std::shared_ptr<ItemList> list)
{
    return std::make_shared<LocalItems>(std::move(list));
}

} // namespace platform::outlook::local
