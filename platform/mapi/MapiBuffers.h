#pragma once
// Memory the library hands to callers, released with MAPIFreeBuffer. Each
// result is one block, so one call releases a descriptor array together
// with its texts; the library knows its blocks and refuses other pointers.
#include "platform/mapi/MapiDefs.h"

#include <QByteArray>
#include <QVector>

namespace mapistandin {

struct RecipientOut
{
    ULONG recipClass = MAPI_TO;
    QByteArray name;
    QByteArray address;
    QByteArray entryId;
};

// Null for an empty list. Throws std::bad_alloc.
lpMapiRecipDesc allocateRecipients(const QVector<RecipientOut> &recipients);
// False for a pointer the library did not hand out (or already took back).
bool freeBuffer(void *block);
int liveBufferCount();

} // namespace mapistandin
