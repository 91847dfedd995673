#pragma once
// The message reader's text decoding on plain bytes, shared by its parts.
// Only the reader itself talks to the MIME library.
#include "platform/outlook/MailMessage.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

namespace platform::outlook::mailtext {

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Charsets, in the reader: other than UTF-8 and Windows text they go through
// the MIME library's converters.
// A charset label as written, lower case, without quotes or RFC 2231 language.
QByteArray charsetName(QByteArrayView label);
// Labels for Latin-1 and ASCII read as windows-1252; missing or unknown
// labels read as UTF-8 where valid, else windows-1252.
QString decodeText(QByteArrayView bytes, QByteArrayView label);

// Header fields.
// Where the header block ends: the LF before its empty line (an LF or CR LF),
// searched from `from`; -1 when no empty line follows.
qsizetype blankLineAt(QByteArrayView bytes, qsizetype from = 0);
// The raw value as one line: each fold becomes one blank.
QByteArray unfold(const char *raw);
// RFC 2047 encoded words decoded, line breaks inside them made blanks.
QString decodeHeaderText(QByteArrayView s);
QList<MailAddress> parseAddressList(QByteArrayView s);
// Seconds since the epoch of a date in the form nearly all mail uses; none
// for any other form, which the MIME library's parser reads.
std::optional<qint64> plainDateSeconds(QByteArrayView s);
// The first mailbox of a raw header value; empty when there is none.
MailAddress firstMailbox(const char *raw);

// Bodies.
// The charset an HTML document declares in its head; empty when none.
QByteArray htmlMetaCharset(QByteArrayView html);
// What a reader sees of the document, its lines already ending in CR LF.
QString htmlToText(const QString &html);
// The same from the bytes of the document, with no copy of it as text: UTF-8
// (nothing when a byte is no part of a well-formed sequence), UTF-8 with such
// bytes read as windows-1252, or windows-1252.
enum class HtmlBytes { Utf8, Utf8OrWindows1252, Windows1252 };
std::optional<QString> htmlBytesToText(QByteArrayView html, HtmlBytes encoding);
// LF, CR LF and lone CR line ends all made CR LF.
QString toCrLf(QString text);

} // namespace platform::outlook::mailtext
