#pragma once
// The local store's automation objects, shared between the folder side
// (LocalOutlook.cpp) and the item side (LocalItems.cpp).
#include "platform/outlook/Automation.h"
#include "platform/outlook/Maildir.h"

#include <memory>

namespace platform::outlook::local {

inline const QString PersonalFolders = QStringLiteral("Personal Folders");
inline const QString DeletedItems = QStringLiteral("Deleted Items");

inline bool is(const QString &member, const char *name)
{
    return member.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

[[noreturn]] inline void unknownMember(const QString &member)
{
    throw AutomationError(QStringLiteral("Unknown name: %1").arg(member));
}

inline QVariant wrap(ObjectPtr object)
{
    return QVariant::fromValue(std::move(object));
}

// 1-based index argument, as the client's collections take them.
inline int indexArgument(const QVariantList &args, int count)
{
    bool ok = false;
    const int i = args.value(0).toInt(&ok);
    if (!ok || i < 1 || i > count)
        throw AutomationError(QStringLiteral("Array index out of bounds."));
    return i;
}

struct Store
{
    Maildir maildir;
    QString deletedItems; // found once: listing the store per deletion made the check slow
    QString deletedItemsDir()
    {
        if (deletedItems.isEmpty()) {
            const QString existing = maildir.folderPath(DeletedItems);
            deletedItems = existing.isEmpty() ? maildir.createFolder(DeletedItems) : existing;
        }
        return deletedItems;
    }
};
using StorePtr = std::shared_ptr<Store>;

// The items of one folder, listed once: re-fetching an item by its index
// gives the same, already read, message.
class ItemList;
std::shared_ptr<ItemList> listItems(StorePtr store, const QString &dir);
// A folder's Items collection over such a list.
ObjectPtr itemsObject(std::shared_ptr<ItemList> list);

} // namespace platform::outlook::local
