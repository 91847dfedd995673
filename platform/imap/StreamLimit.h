#pragma once
// A cap on what one command may read from the server. The library holds a
// whole response in memory before it parses it, so a server that answers
// with an endless literal would otherwise take all memory.
#include <cstddef>

struct _mailstream_low;

namespace platform::imap {

struct StreamLimit
{
    std::size_t read = 0;
    std::size_t limit = 0; // 0: no limit
    bool exceeded = false;

    void start(std::size_t bytes)
    {
        read = 0;
        limit = bytes;
        exceeded = false;
    }
};

// Wraps a connected low-level stream; the wrapper owns inner and reads
// fail once the limit is passed. limit must outlive the stream.
_mailstream_low *limitStream(_mailstream_low *inner, StreamLimit *limit);

} // namespace platform::imap
