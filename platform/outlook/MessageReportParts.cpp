#include "platform/outlook/MessageParts.h"

#include "platform/outlook/MessageText.h"

#include <algorithm>

namespace platform::outlook::mimeparts {

using mailtext::decodeText;

namespace {

// Report and part types as senders write them: any letter case, some
// with the "x-" of a type not yet registered.
bool isStatusType(const char *name)
{
    QByteArray type = QByteArray(name ? name : "").toLower();
    if (type.startsWith("x-"))
        type.remove(0, 2);
    return type == "delivery-status" || type == "global-delivery-status" || type == "feedback-report";
}

// The per-recipient fields of a delivery report, or else the text part
// older systems put in a report in their place (its first part is for
// people). Attached messages are searched only when asked: some systems
// forward a report whole inside a notice of their own.
void findStatusPart(GMimeObject *object, bool intoMessages, GMimePart **status, GMimePart **plain, int depth = 0)
{
    if (!object || depth > kMaxPartDepth || *status)
        return;
    if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage *message = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        if (intoMessages && message)
            findStatusPart(g_mime_message_get_mime_part(message), intoMessages, status, plain, depth + 1);
        return;
    }
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart *multipart = GMIME_MULTIPART(object);
        GMimeContentType *type = g_mime_object_get_content_type(object);
        const bool report = type && g_mime_content_type_is_type(type, "multipart", "report")
                            && isStatusType(g_mime_content_type_get_parameter(type, "report-type"));
        const int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count && !*status; ++i) {
            GMimeObject *child = g_mime_multipart_get_part(multipart, i);
            GMimeContentType *childType = g_mime_object_get_content_type(child);
            if (report && i > 0 && !*plain && GMIME_IS_PART(child) && childType
                && g_mime_content_type_is_type(childType, "text", "plain"))
                *plain = GMIME_PART(child);
            findStatusPart(child, intoMessages, status, plain, depth + 1);
        }
        return;
    }
    GMimeContentType *type = g_mime_object_get_content_type(object);
    if (GMIME_IS_PART(object) && type && g_mime_content_type_is_type(type, "message", "*")
        && isStatusType(g_mime_content_type_get_media_subtype(type)))
        *status = GMIME_PART(object);
}

// Status fields are a few lines per recipient; a larger part is cut.
constexpr guint kMaxStatusSize = 1 << 20;

// Returned headers are a few dozen lines; a larger block is cut.
constexpr qsizetype kMaxReturnedHeaders = 64 * 1024;

} // namespace

QString statusText(GMimeObject *root)
{
    GMimePart *status = nullptr, *plain = nullptr;
    findStatusPart(root, false, &status, &plain);
    if (!status && !plain)
        findStatusPart(root, true, &status, &plain);
    GMimePart *part = status ? status : plain;
    GMimeDataWrapper *content = part ? g_mime_part_get_content(part) : nullptr;
    if (!content)
        return {};
    GObjectPtr<GMimeStream> decoded(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, decoded.get());
    const GByteArray *array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(decoded.get()));
    const char *charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
    // Plain reports are ASCII; the global ones UTF-8.
    return decodeText(
        QByteArrayView(reinterpret_cast<const char *>(array->data), qsizetype(std::min(array->len, kMaxStatusSize))),
        charset ? QByteArrayView(charset) : QByteArrayView("utf-8"));
}

// The headers of the first message a notice returns: an attached message
// (its own headers) or a part holding headers alone.
QByteArray returnedHeaders(GMimeObject *object, int depth)
{
    if (!object || depth > kMaxPartDepth)
        return {};
    if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage *message = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        if (!message)
            return {};
        char *text = g_mime_object_get_headers(GMIME_OBJECT(message), nullptr);
        QByteArray headers(text ? text : "");
        g_free(text);
        return headers.left(kMaxReturnedHeaders);
    }
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart *multipart = GMIME_MULTIPART(object);
        const int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count; ++i) {
            QByteArray found = returnedHeaders(g_mime_multipart_get_part(multipart, i), depth + 1);
            if (!found.isEmpty())
                return found;
        }
        return {};
    }
    GMimeContentType *type = g_mime_object_get_content_type(object);
    if (!GMIME_IS_PART(object) || !type
        || !(g_mime_content_type_is_type(type, "text", "rfc822-headers")
             || g_mime_content_type_is_type(type, "message", "rfc822-headers")))
        return {};
    GMimeDataWrapper *content = g_mime_part_get_content(GMIME_PART(object));
    if (!content)
        return {};
    GObjectPtr<GMimeStream> decoded(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, decoded.get());
    const GByteArray *array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(decoded.get()));
    return QByteArray(reinterpret_cast<const char *>(array->data),
                      std::min<qsizetype>(array->len, kMaxReturnedHeaders));
}

} // namespace platform::outlook::mimeparts
