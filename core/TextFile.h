#pragma once
// Line-oriented text files: the rule lists, the log and the error list.
// Reading accepts what older copies of the program and other editors wrote;
// writing always produces UTF-8 with CR LF line ends.
#include <QString>
#include <QStringList>

namespace textfile {

// Accepts CR, LF and CR LF line ends (mixed too) and a last line without one.
// A UTF-8 byte order mark is skipped; a file that is not valid UTF-8 is read
// as windows-1252 throughout. On failure *error (if given) says why.
bool readLines(const QString &path, QStringList *lines, QString *error = nullptr);

// Replaces the file as a whole: a crash leaves either the old or the new file.
bool writeLines(const QString &path, const QStringList &lines, QString *error = nullptr);

} // namespace textfile
