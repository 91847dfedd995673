#pragma once
// Texts crossing the library's C interface are UTF-8; bytes that are not
// came from an 8-bit code page and are read as windows-1252.
#include <QByteArray>
#include <QString>

namespace mapistandin {

QString textFromBytes(const QByteArray &bytes);
inline QString textFrom(const char *text)
{
    return text ? textFromBytes(QByteArray(text)) : QString();
}

// One header line's worth of text: line breaks and other control
// characters become blanks, so no caller can add a header of its own.
QString headerText(const QString &text);

// Line breaks of a body as a Maildir file keeps them: CR LF and a lone CR
// become LF.
QString bodyText(const QString &text);

} // namespace mapistandin
