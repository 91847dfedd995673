#pragma once
// How the library reads recipients: typed names and one-off addresses,
// the "SMTP:" address type, entry identifiers and header display names.
#include "platform/mapi/MapiDefs.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace mapistandin {

class ContactIndex;

struct Resolution
{
    ULONG code = MAPI_E_UNKNOWN_RECIPIENT;
    QString name; // resolves to the same recipient again
    QString address; // without an address type
};

using ContactsSource = std::function<std::shared_ptr<const ContactIndex>()>;

// Text with "@" (or "SMTP:", or "[SMTP:...]") is its own address; other
// text is a contact's display name or nickname. The contacts are asked for
// only when needed.
Resolution resolveName(const QString &typed, const ContactsSource &contacts);

// A recipient address as a caller gives it, with or without "SMTP:";
// nothing for another address type.
std::optional<QString> smtpAddress(const QString &address);
// An address a message header can carry (see addrSpec).
bool isValidAddress(const QString &address);

// The name for the header: nothing when the name only repeats the address,
// the display part of "Name <address>", else the name itself.
QString displayNameFor(const QString &name, const QString &address);

QByteArray entryIdFor(const QString &address);
std::optional<QString> addressFromEntryId(const QByteArray &entryId);

} // namespace mapistandin
