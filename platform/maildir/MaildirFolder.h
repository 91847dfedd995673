#pragma once
// Making one folder of a Maildir++ store, for every part of the program that
// writes into the store.
#include <QString>

namespace platform::maildir {

enum class FolderKind {
    Inbox, // the store's root
    Subfolder, // a ".Name" directory beside the Inbox's tmp/, new/ and cur/
};

// Makes `dir` and its tmp/, new/ and cur/ where they are missing, mode 0700
// as mail is private; never a missing parent, so a mistyped store path is
// not silently made. A subfolder whose directory is made here gets the
// "maildirfolder" marker delivery agents look for; folders someone else made
// are left as they are. Returns 0, or the errno of the first directory that
// could not be made (ENOTDIR when something else is in its place), which
// `failedPath` then names.
int makeFolder(const QString &dir, FolderKind kind, QString *failedPath = nullptr);

} // namespace platform::maildir
