#pragma once
// The IMAP account's automation objects, shared between the folder side
// (ImapOutlook.cpp) and the item side (ImapItems.cpp).
#include "platform/imap/ImapSession.h"
#include "platform/outlook/Automation.h"
#include "platform/outlook/MemberHelpers.h"

#include <QHash>
#include <QList>

#include <memory>

namespace platform::outlook::imapstore {

// The server's failures reach the caller as the facade's own.
template<typename F> auto guarded(F &&f) -> decltype(f())
{
    try {
        return f();
    } catch (const platform::imap::ImapError &e) {
        throw AutomationError(e.message());
    }
}

// One connection and what it knows of the account's mailboxes.
class Account
{
public:
    explicit Account(platform::imap::ServerConfig config);

    platform::imap::Session &session() { return m_session; }
    // Selected mailboxes' names as the user sees them, sorted.
    QStringList folderNames();
    // Empty when there is no such mailbox (names ignore letter case).
    QByteArray rawName(const QString &name);
    QByteArray createFolder(const QString &name);
    // The \Trash mailbox, else "Trash" or "Deleted Items"; created as
    // "Deleted Items" when there is none.
    QByteArray trash();
    // Selects rawName when another mailbox is selected; the UID validity
    // must stay what it was when the folder was first opened.
    platform::imap::OpenedMailbox select(const QByteArray &rawName);
    void ensureSelected(const QByteArray &rawName, quint32 uidValidity);
    // The user's name of a mailbox: UTF-8 or modified UTF-7 decoded as the
    // session names them, INBOX as "Inbox".
    QString displayName(const QByteArray &rawName) const;

private:
    void listOnce();

    platform::imap::Session m_session;
    bool m_listed = false;
    QList<platform::imap::Mailbox> m_boxes;
    QByteArray m_selected;
    QByteArray m_trash;
};
using AccountPtr = std::shared_ptr<Account>;

class ImapItemList;
std::shared_ptr<ImapItemList> openItems(AccountPtr account, const QByteArray &rawName);
ObjectPtr itemsObject(std::shared_ptr<ImapItemList> list);

} // namespace platform::outlook::imapstore
