#pragma once
// The pieces of one line of a registry export: quoted and hex-written
// values, names, and the text encodings a file may arrive in.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace platform::regformat::text {

// Names are compared as regedit compares them, ignoring case.
QString fold(const QString &s);
bool isBlank(QChar c);
QStringView trimBlanks(QStringView s);
int hexDigit(QChar c);
// 1 to 8 hex digits, as regedit accepts in "dword:" and "hex(n):".
bool parseHex32(QStringView s, quint32 &out);
QString escapeQuoted(const QString &s);
// From the opening quote at pos; pos ends after the closing one. Only \\ and
// \" are escapes; any other backslash is kept, as hand-written paths such
// as "C:\Temp" mean.
bool parseQuoted(QStringView line, qsizetype &pos, QString &out);
// A string as Windows holds it: UTF-16LE with a NUL.
QByteArray utf16z(const QString &s);
QByteArray dwordBytes(quint32 v);
// Text that a quoted value cannot carry: line breaks and other control
// characters, and lone surrogates that UTF-8 cannot encode.
bool needsHex(const QString &s);
bool hasLoneSurrogate(QStringView s);
// Wrapped as regedit does, so the lines stay under 80 columns.
QStringList hexLines(const QString &prefix, const QByteArray &bytes);
// "@" for the default value, else the quoted name.
QString nameField(const QString &name);
// UTF-8, or UTF-16 after its byte-order mark; false on bytes that are not.
bool decodeText(const QByteArray &bytes, QString &out);
// Comma-separated two-digit bytes, a trailing comma allowed.
bool parseHexBytes(QStringView text, QByteArray &out);

} // namespace platform::regformat::text
