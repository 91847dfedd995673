#pragma once
// The header fields of an outgoing message. Text from a caller is only ever
// encoded: anything a reader could take for markup of its own (an encoded
// word, a line break, a quote) is written as RFC 2047 or RFC 2231 asks, and
// every field is folded within 78 columns where its words allow.
#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QVector>

#include <optional>
#include <utility>

namespace mapistandin {

struct Mailbox
{
    QString name; // may be empty
    QString address;
};

// The address as a header carries it (a non-ASCII domain in its ASCII
// form); nothing for one no header can hold: no "@", a local part that is
// not a dot-atom of ASCII or is over 64 octets, a domain that is not a
// dot-atom or is over 255 octets.
std::optional<QByteArray> addrSpec(const QString &address);

// "Name: text" and its line end; control characters are the caller's to remove.
QByteArray unstructuredField(QByteArrayView name, const QString &text);

// Nothing when an address cannot be written or a line would pass 998 octets.
std::optional<QByteArray> mailboxField(QByteArrayView name, const QVector<Mailbox> &boxes);

using MimeParameter = std::pair<QByteArray, QString>;
// "Name: value; attribute=..." with the parameters quoted or, where quoting
// would not keep them as they are, in RFC 2231 form.
QByteArray parameterField(QByteArrayView name, QByteArrayView value, const QVector<MimeParameter> &params);

QByteArray dateField(const QDateTime &when);
QByteArray messageIdField(QByteArrayView domain);

} // namespace mapistandin
