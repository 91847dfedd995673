#pragma once
// Rich text (RTF) as word processors write it, read into a QTextDocument for
// display: text, paragraphs, character formatting, headings and list markers.
// Pictures, objects and document data are left out. Any input, however
// broken, ends in time linear in its size with text or a failure.
#include <QByteArray>
#include <QString>

class QTextDocument;

namespace platform::richtext {

// A larger file is refused rather than read into memory.
inline constexpr qint64 maxRtfFileSize = 64 * 1024 * 1024;

// Replaces doc's content. False, with doc untouched and *error set, when
// rtf does not begin as rich text.
bool readRtf(const QByteArray &rtf, QTextDocument *doc, QString *error = nullptr);
// As readRtf; also false when the file cannot be read or is too large.
bool readRtfFile(const QString &path, QTextDocument *doc, QString *error = nullptr);

} // namespace platform::richtext
