#include "platform/mapi/MapiBuffers.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

namespace mapistandin {

namespace {

std::mutex g_mutex;
std::unordered_set<void *> g_blocks;

char *copyInto(char *&cursor, const QByteArray &bytes, bool terminate)
{
    char *start = cursor;
    std::memcpy(cursor, bytes.constData(), size_t(bytes.size()));
    cursor += bytes.size();
    if (terminate)
        *cursor++ = '\0';
    return start;
}

} // namespace

lpMapiRecipDesc allocateRecipients(const QVector<RecipientOut> &recipients)
{
    if (recipients.isEmpty())
        return nullptr;
    size_t size = sizeof(MapiRecipDesc) * size_t(recipients.size());
    for (const RecipientOut &r : recipients)
        size += size_t(r.name.size()) + 1 + size_t(r.address.size()) + 1 + size_t(r.entryId.size());
    void *block = std::calloc(1, size);
    if (!block)
        throw std::bad_alloc();
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        try {
            g_blocks.insert(block);
        } catch (...) {
            std::free(block);
            throw;
        }
    }
    auto *descs = static_cast<MapiRecipDesc *>(block);
    char *cursor = static_cast<char *>(block) + sizeof(MapiRecipDesc) * size_t(recipients.size());
    for (int i = 0; i < recipients.size(); ++i) {
        const RecipientOut &r = recipients[i];
        descs[i].ulRecipClass = r.recipClass;
        descs[i].lpszName = copyInto(cursor, r.name, true);
        descs[i].lpszAddress = copyInto(cursor, r.address, true);
        descs[i].ulEIDSize = ULONG(r.entryId.size());
        descs[i].lpEntryID = r.entryId.isEmpty() ? nullptr : copyInto(cursor, r.entryId, false);
    }
    return descs;
}

bool freeBuffer(void *block)
{
    if (!block)
        return true;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_blocks.erase(block) == 0)
            return false;
    }
    std::free(block);
    return true;
}

int liveBufferCount()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return int(g_blocks.size());
}

} // namespace mapistandin
