#pragma once
// Which store the mail client's application object opens: the local Maildir
// store or an IMAP account. The program's settings register it, as a mail
// client's profile would be registered with the system.
#include "platform/imap/ImapSession.h"

#include <QString>

#include <functional>

namespace platform::outlook {

struct MailAccount
{
    bool imap = false;
    // The local store; with an IMAP account it still holds the contacts.
    QString storeRoot;
    // Its password is asked of passwordSource when the connection is made.
    platform::imap::ServerConfig server;
    std::function<QString()> passwordSource;
};

void setMailAccount(MailAccount account);
MailAccount mailAccount();

} // namespace platform::outlook
