#pragma once
// The vCard properties the program reads from a contacts folder: the
// contacts of an item and the names mail is addressed by.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace platform::vcard {

struct VCardContact
{
    QString fullName; // FN, else "Given Family" from N, else the first nickname
    QStringList nicknames; // NICKNAME, split at commas
    QStringList emails; // every EMAIL, in file order
    int preferredEmail = 0; // the first EMAIL marked preferred, else the first

    QString preferredAddress() const { return emails.value(preferredEmail); }
};

// Every vCard in the bytes (2.1, 3.0 and 4.0: folded lines, quoted-printable,
// charsets, escapes, group prefixes, any line ends, a byte-order mark).
QList<VCardContact> readVCards(const QByteArray &bytes);

} // namespace platform::vcard
