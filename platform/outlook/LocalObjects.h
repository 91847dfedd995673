#pragma once
// The local store's automation objects, shared between the folder side
// (LocalOutlook.cpp) and the item side (LocalItems.cpp).
#include "platform/outlook/Automation.h"
#include "platform/outlook/Maildir.h"
#include "platform/outlook/MemberHelpers.h"

#include <memory>

namespace platform::outlook::local {

inline const QString PersonalFolders = QStringLiteral("Personal Folders");
inline const QString DeletedItems = QStringLiteral("Deleted Items");

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
// A folder's Items collection over such a list, and its Item(i) directly.
ObjectPtr itemsObject(std::shared_ptr<ItemList> list);
ObjectPtr itemAt(ItemList &list, const QVariantList &args);

} // namespace platform::outlook::local
