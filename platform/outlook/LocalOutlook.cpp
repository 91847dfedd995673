#include "platform/outlook/LocalOutlook.h"

#include "platform/outlook/LocalObjects.h"

#include <QDir>

namespace platform::outlook {

namespace {

using namespace local;

class LocalFolder;

class LocalFolders : public AutomationObject
{
public:
    explicit LocalFolders(StorePtr store)
        : m_store(std::move(store))
    {
    }
    QVariant invoke(const QString &member, const QVariantList &args) override;
    QVariant item(const QVariantList &args);

private:
    StorePtr m_store;
};

class LocalFolder : public AutomationObject
{
public:
    // An empty directory is the store's root, which holds folders, not items.
    LocalFolder(StorePtr store, QString name, QString dir)
        : m_store(std::move(store))
        , m_name(std::move(name))
        , m_dir(std::move(dir))
    {
    }
    QVariant invoke(const QString &member, const QVariantList &args) override
    {
        // Items(i) first: a check or a scan asks it of every message.
        if (is(member, "Items")) {
            if (!m_items)
                m_items = listItems(m_store, m_dir);
            return args.isEmpty() ? wrap(itemsObject(m_items)) : wrap(itemAt(*m_items, args));
        }
        if (is(member, "Name"))
            return m_name;
        if (is(member, "Folders")) {
            auto folders = std::make_shared<LocalFolders>(m_dir.isEmpty() ? m_store : nullptr);
            return args.isEmpty() ? wrap(folders) : folders->item(args);
        }
        unknownMember(member);
    }

private:
    StorePtr m_store;
    QString m_name;
    QString m_dir;
    std::shared_ptr<ItemList> m_items;
};

QVariant LocalFolders::invoke(const QString &member, const QVariantList &args)
{
    if (is(member, "Count"))
        return m_store ? int(m_store->maildir.folderNames().size()) : 0;
    if (is(member, "Item"))
        return item(args);
    if (is(member, "add")) {
        if (!m_store)
            throw AutomationError(QStringLiteral("Folders cannot be added here."));
        const QString name = args.value(0).toString();
        try {
            const QString dir = m_store->maildir.createFolder(name);
            return wrap(std::make_shared<LocalFolder>(m_store, name, dir));
        } catch (const std::runtime_error &e) {
            throw AutomationError(QString::fromUtf8(e.what()));
        }
    }
    unknownMember(member);
}

QVariant LocalFolders::item(const QVariantList &args)
{
    const QStringList names = m_store ? m_store->maildir.folderNames() : QStringList();
    QString name;
    if (args.value(0).typeId() == QMetaType::QString) {
        const QString wanted = args.value(0).toString();
        for (const QString &n : names) {
            if (n.compare(wanted, Qt::CaseInsensitive) == 0)
                name = n;
        }
        if (name.isEmpty())
            throw AutomationError(QStringLiteral("The operation failed. An object could not be found."));
    } else {
        name = names.at(indexArgument(args, int(names.size())) - 1);
    }
    return wrap(std::make_shared<LocalFolder>(m_store, name, m_store->maildir.folderPath(name)));
}

// The namespace's folders: the one personal store.
class LocalStores : public AutomationObject
{
public:
    explicit LocalStores(StorePtr store)
        : m_store(std::move(store))
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
        if ((byName && which.toString().compare(PersonalFolders, Qt::CaseInsensitive) != 0)
            || (!byName && which.toInt() != 1))
            throw AutomationError(QStringLiteral("The operation failed. An object could not be found."));
        if (!m_store->maildir.exists())
            throw AutomationError(QStringLiteral("The mail store %1 does not exist.")
                                      .arg(QDir::toNativeSeparators(m_store->maildir.root())));
        return wrap(std::make_shared<LocalFolder>(m_store, PersonalFolders, QString()));
    }

private:
    StorePtr m_store;
};

class LocalNamespace : public AutomationObject
{
public:
    explicit LocalNamespace(StorePtr store)
        : m_stores(std::make_shared<LocalStores>(std::move(store)))
    {
    }
    QVariant invoke(const QString &member, const QVariantList &args) override
    {
        if (is(member, "Folders"))
            return args.isEmpty() ? wrap(m_stores) : m_stores->item(args);
        unknownMember(member);
    }

private:
    std::shared_ptr<LocalStores> m_stores;
};

class LocalApplication : public AutomationObject
{
public:
    explicit LocalApplication(const QString &root)
        : m_store(std::make_shared<Store>(Store{Maildir(root), QString()}))
    {
    }
    QVariant invoke(const QString &member, const QVariantList &args) override
    {
        if (is(member, "GetNameSpace")) {
            if (args.value(0).toString().compare(QStringLiteral("MAPI"), Qt::CaseInsensitive) != 0)
                throw AutomationError(
                    QStringLiteral("The namespace %1 is not supported.").arg(args.value(0).toString()));
            return wrap(std::make_shared<LocalNamespace>(m_store));
        }
        unknownMember(member);
    }

private:
    StorePtr m_store;
};

} // namespace

ObjectPtr createLocalApplication(const QString &storeRoot)
{
    return std::make_shared<LocalApplication>(storeRoot);
}

QString defaultStoreRoot()
{
    return QDir::home().filePath(QStringLiteral("Maildir"));
}

} // namespace platform::outlook
