#pragma once
// The fields that mark a message as list mail, so that receiving systems
// file it as such and offer their own unsubscribe button: List-Id (RFC
// 2919), List-Unsubscribe (RFC 2369) as a mailto: whose subject the folder
// check reads as a command, and Precedence: bulk.
#include <QByteArray>
#include <QList>
#include <QString>

namespace listfields {

// The list's identifier made from the owner's address: list@example.org
// gives list.example.org. Empty for an address without a domain.
QString defaultListId(const QString &owner);

// The fields for a message to category (empty: the whole list). listName is
// the setting: a dotted identifier replaces the default one, any other text
// becomes the list's description. Empty when the owner's address is not one.
QList<QByteArray> fields(const QString &owner, const QString &listName, const QString &category);

} // namespace listfields
