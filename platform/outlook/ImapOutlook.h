#pragma once
// The mail client's automation objects over an IMAP account: its mailboxes
// as folders, the messages present at opening as items in UID order.
#include "platform/imap/ImapSession.h"
#include "platform/outlook/Automation.h"

namespace platform::outlook {

// Connects and logs in at once; throws AutomationError with the server's
// failure. Contacts folders come from the local store at localStoreRoot.
ObjectPtr createImapApplication(const platform::imap::ServerConfig &server, const QString &localStoreRoot);

} // namespace platform::outlook
