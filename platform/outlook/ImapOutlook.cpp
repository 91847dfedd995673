#include "platform/outlook/ImapOutlook.h"

#include "platform/outlook/ImapObjects.h"
#include "platform/outlook/LocalOutlook.h"
#include "platform/outlook/Maildir.h"

#include <algorithm>

namespace platform::outlook {

namespace imapstore {

QString Account::displayName(const QByteArray &rawName) const
{
    if (rawName.compare("INBOX", Qt::CaseInsensitive) == 0)
        return QStringLiteral("Inbox");
    if (m_session.utf8Names())
        return QString::fromUtf8(rawName);
    return Maildir::decodeName(QString::fromLatin1(rawName));
}

Account::Account(platform::imap::ServerConfig config)
    : m_session(std::move(config))
{
    guarded([&] { m_session.open(); });
}

void Account::listOnce()
{
    if (m_listed)
        return;
    m_boxes = guarded([&] { return m_session.list(); });
    m_listed = true;
}

QStringList Account::folderNames()
{
    listOnce();
    QStringList names;
    for (const auto &box : std::as_const(m_boxes)) {
        if (box.selectable)
            names << displayName(box.rawName);
    }
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return QString::compare(a, b, Qt::CaseInsensitive) < 0; });
    return names;
}

QByteArray Account::rawName(const QString &name)
{
    listOnce();
    for (const auto &box : std::as_const(m_boxes)) {
        if (box.selectable && displayName(box.rawName).compare(name, Qt::CaseInsensitive) == 0)
            return box.rawName;
    }
    return {};
}

QByteArray Account::createFolder(const QString &name)
{
    const QByteArray raw = m_session.utf8Names() ? name.toUtf8() : Maildir::encodeName(name).toLatin1();
    guarded([&] { m_session.create(raw); });
    m_listed = false;
    return raw;
}

QByteArray Account::trash()
{
    if (!m_trash.isEmpty())
        return m_trash;
    listOnce();
    for (const auto &box : std::as_const(m_boxes)) {
        if (box.specialUse == "trash")
            return m_trash = box.rawName;
    }
    for (const char *name : {"Trash", "Deleted Items"}) {
        if (const QByteArray raw = rawName(QString::fromLatin1(name)); !raw.isEmpty())
            return m_trash = raw;
    }
    return m_trash = createFolder(QStringLiteral("Deleted Items"));
}

platform::imap::OpenedMailbox Account::select(const QByteArray &rawName)
{
    m_selected.clear();
    auto opened = guarded([&] { return m_session.select(rawName); });
    m_selected = rawName;
    return opened;
}

void Account::ensureSelected(const QByteArray &rawName, quint32 uidValidity)
{
    if (m_selected == rawName)
        return;
    if (select(rawName).uidValidity != uidValidity)
        throw AutomationError(QStringLiteral("The folder %1 on the server %2 was replaced by another program; "
                                             "open it again.")
                                  .arg(displayName(rawName), m_session.serverName()));
}

} // namespace imapstore

namespace {

using namespace imapstore;

class ImapFolders;

class ImapFolder : public AutomationObject
{
public:
    // An empty raw name is the account's root, which holds folders, not items.
    ImapFolder(AccountPtr account, QString name, QByteArray rawName)
        : m_account(std::move(account))
        , m_name(std::move(name))
        , m_raw(std::move(rawName))
    {
    }
    QVariant invoke(const QString &member, const QVariantList &args) override;

private:
    AccountPtr m_account;
    QString m_name;
    QByteArray m_raw;
    std::shared_ptr<ImapItemList> m_items;
};

// The account's folders, with the local contacts folders beside them: an
// IMAP account holds no contacts.
class ImapFolders : public AutomationObject
{
public:
    ImapFolders(AccountPtr account, ObjectPtr localRoot)
        : m_account(std::move(account))
        , m_localRoot(std::move(localRoot))
    {
    }
    QVariant invoke(const QString &member, const QVariantList &args) override
    {
        if (is(member, "Count"))
            return m_account ? int(names().size()) : 0;
        if (is(member, "Item"))
            return item(args);
        if (is(member, "add")) {
            if (!m_account)
                throw AutomationError(QStringLiteral("Folders cannot be added here."));
            const QString name = args.value(0).toString();
            return wrap(std::make_shared<ImapFolder>(m_account, name, m_account->createFolder(name)));
        }
        unknownMember(member);
    }

    QVariant item(const QVariantList &args)
    {
        const QStringList all = m_account ? names() : QStringList();
        QString name;
        if (args.value(0).typeId() == QMetaType::QString) {
            const QString wanted = args.value(0).toString();
            for (const QString &n : all) {
                if (n.compare(wanted, Qt::CaseInsensitive) == 0)
                    name = n;
            }
            if (name.isEmpty())
                throw AutomationError(QStringLiteral("The operation failed. An object could not be found."));
        } else {
            name = all.at(indexArgument(args, int(all.size())) - 1);
        }
        const QByteArray raw = m_account->rawName(name);
        if (raw.isEmpty())
            return m_localRoot ? OleVariant(m_localRoot).call(QStringLiteral("Folders"), {name}).value() : QVariant();
        return wrap(std::make_shared<ImapFolder>(m_account, name, raw));
    }

private:
    QStringList names() const
    {
        QStringList all = m_account->folderNames();
        for (const QString &contacts : localContactFolders()) {
            if (m_account->rawName(contacts).isEmpty())
                all << contacts;
        }
        return all;
    }
    QStringList localContactFolders() const
    {
        if (!m_localRoot)
            return {};
        try {
            OleVariant(m_localRoot).call(QStringLiteral("Folders"), {QStringLiteral("Contacts")});
            return {QStringLiteral("Contacts")};
        } catch (const AutomationError &) {
            return {};
        }
    }

    AccountPtr m_account;
    ObjectPtr m_localRoot;
};

QVariant ImapFolder::invoke(const QString &member, const QVariantList &args)
{
    if (is(member, "Name"))
        return m_name;
    if (is(member, "Folders")) {
        // Only the root lists folders, as the local store's does.
        auto folders = std::make_shared<ImapFolders>(m_raw.isEmpty() ? m_account : nullptr, nullptr);
        return args.isEmpty() ? wrap(folders) : folders->item(args);
    }
    if (is(member, "Items")) {
        if (!m_items)
            m_items = openItems(m_account, m_raw);
        auto items = itemsObject(m_items);
        return args.isEmpty() ? wrap(items) : items->invoke(QStringLiteral("Item"), args);
    }
    unknownMember(member);
}

// The root of the account, as the local store's "Personal Folders".
class ImapRoot : public AutomationObject
{
public:
    ImapRoot(AccountPtr account, ObjectPtr localRoot)
        : m_folders(std::make_shared<ImapFolders>(std::move(account), std::move(localRoot)))
    {
    }
    QVariant invoke(const QString &member, const QVariantList &args) override
    {
        if (is(member, "Name"))
            return QStringLiteral("Personal Folders");
        if (is(member, "Folders"))
            return args.isEmpty() ? wrap(m_folders) : m_folders->item(args);
        if (is(member, "Items"))
            throw AutomationError(QStringLiteral("The account's root holds folders only."));
        unknownMember(member);
    }

private:
    std::shared_ptr<ImapFolders> m_folders;
};

class ImapStores : public AutomationObject
{
public:
    explicit ImapStores(ObjectPtr root)
        : m_root(std::move(root))
    {
    }
    QVariant invoke(const QString &member, const QVariantList &args) override
    {
        if (is(member, "Count"))
            return 1;
        if (is(member, "Item"))
            return item(args);
        unknownMember(member);
    }
    QVariant item(const QVariantList &args)
    {
        const QVariant &which = args.value(0);
        const bool byName = which.typeId() == QMetaType::QString;
        if ((byName && which.toString().compare(QStringLiteral("Personal Folders"), Qt::CaseInsensitive) != 0)
            || (!byName && which.toInt() != 1))
            throw AutomationError(QStringLiteral("The operation failed. An object could not be found."));
        return wrap(m_root);
    }

private:
    ObjectPtr m_root;
};

class ImapApplication : public AutomationObject
{
public:
    ImapApplication(AccountPtr account, ObjectPtr localRoot)
        : m_stores(std::make_shared<ImapStores>(std::make_shared<ImapRoot>(std::move(account), std::move(localRoot))))
    {
    }
    QVariant invoke(const QString &member, const QVariantList &args) override
    {
        if (is(member, "GetNameSpace")) {
            if (args.value(0).toString().compare(QStringLiteral("MAPI"), Qt::CaseInsensitive) != 0)
                throw AutomationError(
                    QStringLiteral("The namespace %1 is not supported.").arg(args.value(0).toString()));
            return wrap(std::make_shared<ImapNamespace>(m_stores));
        }
        unknownMember(member);
    }

private:
    class ImapNamespace : public AutomationObject
    {
    public:
        explicit ImapNamespace(std::shared_ptr<ImapStores> stores)
            : m_stores(std::move(stores))
        {
        }
        QVariant invoke(const QString &member, const QVariantList &args) override
        {
            if (is(member, "Folders"))
                return args.isEmpty() ? wrap(m_stores) : m_stores->item(args);
            unknownMember(member);
        }

    private:
        std::shared_ptr<ImapStores> m_stores;
    };

    std::shared_ptr<ImapStores> m_stores;
};

// The local store's root, when it exists, for its contacts.
ObjectPtr localRoot(const QString &storeRoot)
{
    try {
        return OleVariant(createLocalApplication(storeRoot))
            .call(QStringLiteral("GetNameSpace"), {QStringLiteral("MAPI")})
            .call(QStringLiteral("Folders"), {QStringLiteral("Personal Folders")})
            .object();
    } catch (const AutomationError &) {
        return nullptr;
    }
}

} // namespace

ObjectPtr createImapApplication(const platform::imap::ServerConfig &server, const QString &localStoreRoot)
{
    return std::make_shared<ImapApplication>(std::make_shared<Account>(server), localRoot(localStoreRoot));
}

} // namespace platform::outlook
