#pragma once
// The mail client's automation objects over the user's local Maildir store.
#include "platform/outlook/Automation.h"

namespace platform::outlook {

// The application object over the store at root (normally ~/Maildir).
ObjectPtr createLocalApplication(const QString &storeRoot);
QString defaultStoreRoot();

} // namespace platform::outlook
