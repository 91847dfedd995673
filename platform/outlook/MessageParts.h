#pragma once
// The reader's parts that walk GMime's tree of a delivery notice.
#include <QByteArray>
#include <QString>

#include <gmime/gmime.h>

#include <memory>

namespace platform::outlook::mimeparts {

struct GObjectUnref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
template<typename T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// Deeper nesting is an attack, not a message.
constexpr int kMaxPartDepth = 64;

// The per-recipient fields of a delivery report, as text; empty when the
// message holds none.
QString statusText(GMimeObject *root);
// The headers of the first message a notice returns; empty when none.
QByteArray returnedHeaders(GMimeObject *object, int depth = 0);

} // namespace platform::outlook::mimeparts
