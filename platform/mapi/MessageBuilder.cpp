#include "platform/mapi/MessageBuilder.h"
#include "platform/mapi/MapiText.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <gmime/gmime.h>

#include <cerrno>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mapistandin {

namespace {

void initGMime()
{
    // Never shut down: the program may use GMime itself, and the library stays loaded.
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

QByteArray utf8(const QString &text)
{
    return text.toUtf8();
}

QByteArray headerUtf8(const QString &text)
{
    return headerText(text).trimmed().toUtf8();
}

const char *orNull(const QByteArray &bytes)
{
    return bytes.isEmpty() ? nullptr : bytes.constData();
}

QString domainOf(const QString &address)
{
    const int at = address.lastIndexOf(QLatin1Char('@'));
    const QString domain = at >= 0 ? address.mid(at + 1) : QString();
    return domain.isEmpty() ? QStringLiteral("localhost") : domain;
}

// A content type a mail client can open; every attachment goes as base64,
// so its bytes arrive unchanged whatever the type says.
std::pair<const char *, const char *> contentTypeFor(const QString &fileName)
{
    static const QHash<QString, std::pair<const char *, const char *>> types{
        {QStringLiteral("txt"), {"text", "plain"}},
        {QStringLiteral("csv"), {"text", "csv"}},
        {QStringLiteral("htm"), {"text", "html"}},
        {QStringLiteral("html"), {"text", "html"}},
        {QStringLiteral("rtf"), {"application", "rtf"}},
        {QStringLiteral("pdf"), {"application", "pdf"}},
        {QStringLiteral("zip"), {"application", "zip"}},
        {QStringLiteral("png"), {"image", "png"}},
        {QStringLiteral("gif"), {"image", "gif"}},
        {QStringLiteral("jpg"), {"image", "jpeg"}},
        {QStringLiteral("jpeg"), {"image", "jpeg"}},
    };
    return types.value(QFileInfo(fileName).suffix().toLower(), {"application", "octet-stream"});
}

void addMailboxes(GMimeMessage *message, GMimeAddressType type, const QVector<Mailbox> &boxes)
{
    if (boxes.isEmpty())
        return; // no empty header
    // Collected apart and appended at once: the message re-encodes its
    // header after every change to an attached list.
    InternetAddressList *list = internet_address_list_new();
    for (const Mailbox &box : boxes) {
        const QByteArray name = headerUtf8(box.name);
        const QByteArray address = utf8(box.address);
        InternetAddress *ia = internet_address_mailbox_new(orNull(name), address.constData());
        internet_address_list_add(list, ia);
        g_object_unref(ia);
    }
    internet_address_list_append(g_mime_message_get_addresses(message, type), list);
    g_object_unref(list);
}

} // namespace

ULONG codeForErrno(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return MAPI_E_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return MAPI_E_DISK_FULL;
    case ENOMEM:
        return MAPI_E_INSUFFICIENT_MEMORY;
    default:
        return MAPI_E_FAILURE;
    }
}

struct PreparedMessage::Impl
{
    GMimeMessage *message = nullptr;
    ~Impl()
    {
        if (message)
            g_object_unref(message);
    }
};

PreparedMessage::PreparedMessage() : d(std::make_unique<Impl>()) {}
PreparedMessage::~PreparedMessage() = default;

ULONG PreparedMessage::prepare(const OutgoingMessage &m, std::unique_ptr<PreparedMessage> *out)
{
    initGMime();
    std::unique_ptr<PreparedMessage> prepared(new PreparedMessage);
    GMimeMessage *message = g_mime_message_new(TRUE);
    prepared->d->message = message;
    GMimeObject *top = GMIME_OBJECT(message);

    addMailboxes(message, GMIME_ADDRESS_TYPE_FROM, {m.from});
    addMailboxes(message, GMIME_ADDRESS_TYPE_TO, m.to);
    addMailboxes(message, GMIME_ADDRESS_TYPE_CC, m.cc);
    addMailboxes(message, GMIME_ADDRESS_TYPE_BCC, m.bcc);
    const QByteArray subject = headerUtf8(m.subject);
    if (!subject.isEmpty())
        g_mime_message_set_subject(message, subject.constData(), "utf-8");

    GDateTime *now = g_date_time_new_now_local();
    g_mime_message_set_date(message, now);
    g_date_time_unref(now);
    const QByteArray domain = utf8(domainOf(m.from.address));
    char *id = g_mime_utils_generate_message_id(domain.constData());
    g_mime_message_set_message_id(message, id);
    g_free(id);

    if (m.receiptRequested) {
        InternetAddressList *notify = internet_address_list_new();
        const QByteArray name = headerUtf8(m.from.name);
        const QByteArray address = utf8(m.from.address);
        InternetAddress *ia = internet_address_mailbox_new(orNull(name), address.constData());
        internet_address_list_add(notify, ia);
        g_object_unref(ia);
        char *value = internet_address_list_to_string(notify, nullptr, TRUE);
        g_mime_object_set_header(top, "Disposition-Notification-To", value, nullptr);
        g_free(value);
        g_object_unref(notify);
    }

    GMimeTextPart *text = g_mime_text_part_new_with_subtype("plain");
    {
        const QByteArray body = utf8(bodyText(m.body));
        GMimeStream *stream = g_mime_stream_mem_new_with_buffer(body.constData(), size_t(body.size()));
        GMimeDataWrapper *content = g_mime_data_wrapper_new_with_stream(stream, GMIME_CONTENT_ENCODING_DEFAULT);
        g_mime_part_set_content(GMIME_PART(text), content);
        g_object_unref(content);
        g_object_unref(stream);
        g_mime_text_part_set_charset(text, "utf-8");
        g_mime_part_set_content_encoding(
            GMIME_PART(text), g_mime_part_get_best_content_encoding(GMIME_PART(text), GMIME_ENCODING_CONSTRAINT_7BIT));
    }

    if (m.attachments.isEmpty()) {
        g_mime_message_set_mime_part(message, GMIME_OBJECT(text));
        g_object_unref(text);
    } else {
        GMimeMultipart *mixed = g_mime_multipart_new_with_subtype("mixed");
        g_mime_message_set_mime_part(message, GMIME_OBJECT(mixed));
        g_mime_multipart_add(mixed, GMIME_OBJECT(text));
        g_object_unref(text);
        g_object_unref(mixed); // the message holds it
        for (const AttachmentFile &file : m.attachments) {
            const int fd = ::open(QFile::encodeName(file.path).constData(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                return (errno == ENOENT || errno == ENOTDIR) ? MAPI_E_ATTACHMENT_NOT_FOUND
                                                             : MAPI_E_ATTACHMENT_OPEN_FAILURE;
            struct stat st;
            if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
                ::close(fd);
                return MAPI_E_ATTACHMENT_OPEN_FAILURE;
            }
            const auto [type, subtype] = contentTypeFor(file.fileName);
            GMimePart *part = g_mime_part_new_with_type(type, subtype);
            GMimeStream *stream = g_mime_stream_fs_new(fd); // owns fd
            GMimeDataWrapper *content = g_mime_data_wrapper_new_with_stream(stream, GMIME_CONTENT_ENCODING_DEFAULT);
            g_mime_part_set_content(part, content);
            g_object_unref(content);
            g_object_unref(stream);
            g_mime_part_set_content_encoding(part, GMIME_CONTENT_ENCODING_BASE64);
            const QByteArray name = headerUtf8(file.fileName);
            g_mime_part_set_filename(part, name.constData());
            g_mime_object_set_disposition(GMIME_OBJECT(part), GMIME_DISPOSITION_ATTACHMENT);
            g_mime_multipart_add(mixed, GMIME_OBJECT(part));
            g_object_unref(part);
        }
    }
    *out = std::move(prepared);
    return SUCCESS_SUCCESS;
}

ULONG PreparedMessage::writeTo(int fd)
{
    GMimeStream *file = g_mime_stream_fs_new(fd);
    g_mime_stream_fs_set_owner(GMIME_STREAM_FS(file), FALSE);
    GMimeStream *buffered = g_mime_stream_buffer_new(file, GMIME_STREAM_BUFFER_BLOCK_WRITE);
    errno = 0;
    ULONG code = SUCCESS_SUCCESS;
    if (g_mime_object_write_to_stream(GMIME_OBJECT(d->message), nullptr, buffered) < 0
        || g_mime_stream_flush(buffered) != 0)
        code = codeForErrno(errno);
    g_object_unref(buffered);
    g_object_unref(file);
    return code;
}

} // namespace mapistandin
