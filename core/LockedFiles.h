#pragma once
// The files this process holds POSIX locks on: the open list file and the
// write-ahead log and shared-memory files beside it. Closing any other
// descriptor of such a file drops every lock the process holds on it, and
// another process may then truncate the log under the running program. So
// nothing but the table engine may open them; readers and writers of files
// the user picks ask here first.
#include <QString>

namespace lockedfiles {

// Counted: a file added twice stays locked until removed twice.
void add(const QString &listFile);
void remove(const QString &listFile);

// True when path names a locked list file or one of its companion files,
// through any relative path or symbolic link.
bool contains(const QString &path);

// "<path> is the mailing-list file the program has open." or the like.
QString reason(const QString &path);

} // namespace lockedfiles
