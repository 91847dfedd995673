#pragma once
// Delivery into a folder of a Maildir++ store (".Outbox", ".Drafts").
#include "platform/mapi/MapiDefs.h"

#include <QString>

#include <functional>

namespace mapistandin {

// The folder and its tmp/, new/ and cur/ are made when missing, never the
// store itself. The file is written in tmp/, flushed to disk and renamed
// into new/, so a reader never sees part of a message; on failure the
// partial file is removed. Returns a MAPI code; `write` returns one too.
ULONG deliverToFolder(const QString &storeRoot, const QString &folderName, const std::function<ULONG(int fd)> &write,
                      QString *deliveredPath = nullptr);

} // namespace mapistandin
