#include "platform/imap/StreamLimit.h"

#include <libetpan/libetpan.h>

#include <cstdlib>

namespace platform::imap {

namespace {

struct Wrapped
{
    mailstream_low *inner;
    StreamLimit *limit;
};

mailstream_low *inner(mailstream_low *s)
{
    return static_cast<Wrapped *>(s->data)->inner;
}

ssize_t readLimited(mailstream_low *s, void *buf, size_t count)
{
    StreamLimit &l = *static_cast<Wrapped *>(s->data)->limit;
    if (l.limit != 0 && l.read >= l.limit) {
        l.exceeded = true;
        return -1;
    }
    const ssize_t n = inner(s)->driver->mailstream_read(inner(s), buf, count);
    if (n > 0)
        l.read += size_t(n);
    return n;
}

ssize_t writeThrough(mailstream_low *s, const void *buf, size_t count)
{
    return inner(s)->driver->mailstream_write(inner(s), buf, count);
}

int closeThrough(mailstream_low *s)
{
    return mailstream_low_close(inner(s));
}

int fdThrough(mailstream_low *s)
{
    return mailstream_low_get_fd(inner(s));
}

void freeBoth(mailstream_low *s)
{
    auto *w = static_cast<Wrapped *>(s->data);
    mailstream_low_free(w->inner);
    delete w;
    std::free(s->identifier);
    std::free(s);
}

void cancelThrough(mailstream_low *s)
{
    mailstream_low_cancel(inner(s));
}

struct mailstream_cancel *getCancelThrough(mailstream_low *s)
{
    return mailstream_low_get_cancel(inner(s));
}

carray *chainThrough(mailstream_low *s)
{
    return mailstream_low_get_certificate_chain(inner(s));
}

mailstream_low_driver limitedDriver = {
    readLimited,      writeThrough, closeThrough, fdThrough, freeBoth, cancelThrough,
    getCancelThrough, chainThrough, nullptr,      nullptr,   nullptr,
};

} // namespace

_mailstream_low *limitStream(_mailstream_low *in, StreamLimit *limit)
{
    mailstream_low *s = mailstream_low_new(new Wrapped{in, limit}, &limitedDriver);
    if (s)
        mailstream_low_set_timeout(s, mailstream_low_get_timeout(in));
    return s;
}

} // namespace platform::imap
