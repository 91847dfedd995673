#include "platform/outlook/MailMessage.h"
#include "platform/outlook/MessageParts.h"
#include "platform/outlook/MessageText.h"

#include "platform/text/LegacyText.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QSysInfo>

#include <gmime/gmime.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::outlook {

using namespace mailtext;
using mimeparts::GObjectPtr;
using mimeparts::kMaxPartDepth;

MessageReadError::MessageReadError(const QString &message)
    : std::runtime_error(message.toStdString())
    , m_message(message)
{
}

namespace {

// GByteArray lengths are 32-bit; no real message comes near this.
constexpr qint64 kMaxMessageSize = qint64(1) << 30;

void ensureGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

struct ByteArrayUnref
{
    void operator()(GByteArray *array) const { g_byte_array_unref(array); }
};
using ByteArrayPtr = std::unique_ptr<GByteArray, ByteArrayUnref>;

enum class CharsetKind { Unlabelled, Utf8, Windows1252, Other };

CharsetKind classify(const QByteArray &name)
{
    if (name.isEmpty())
        return CharsetKind::Unlabelled;
    if (name == "utf-8" || name == "utf8")
        return CharsetKind::Utf8;
    // Outlook labels Windows text as Latin-1 or ASCII; no reader of these
    // labels wants the C1 controls instead of smart quotes and the euro sign.
    static const char *const windowsLabels[] = {
        "iso-8859-1", "iso8859-1",    "iso_8859-1", "iso_8859-1:1987", "latin1",  "latin-1", "l1",
        "cp819",      "ibm819",       "iso-ir-100", "us-ascii",        "ascii",   "us",      "ansi_x3.4-1968",
        "iso646-us",  "windows-1252", "cp1252",     "x-cp1252",        "cp-1252",
    };
    for (const char *label : windowsLabels) {
        if (name == label)
            return CharsetKind::Windows1252;
    }
    return CharsetKind::Other;
}

std::optional<QString> viaIconv(QByteArrayView bytes, const QByteArray &charset)
{
    static const char *const utf16 = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE";
    iconv_t cd = g_mime_iconv_open(utf16, g_mime_charset_iconv_name(charset.constData()));
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;

    QString text(bytes.size() + 16, Qt::Uninitialized);
    size_t used = 0; // bytes written to text
    auto reserve = [&](size_t needed) {
        if (size_t(text.size()) * 2 - used < needed)
            text.resize(text.size() * 2 + qsizetype(needed));
    };
    auto convert = [&](char **in, size_t *inLeft) {
        char *out = reinterpret_cast<char *>(text.data()) + used;
        size_t outLeft = size_t(text.size()) * 2 - used;
        const size_t result = g_mime_iconv(cd, in, inLeft, &out, &outLeft);
        const int error = errno;
        used = size_t(out - reinterpret_cast<char *>(text.data()));
        return result == size_t(-1) ? error : 0;
    };

    char *in = const_cast<char *>(bytes.data());
    size_t inLeft = size_t(bytes.size());
    while (inLeft > 0) {
        reserve(8);
        const int error = convert(&in, &inLeft);
        if (error == 0 || error == E2BIG) {
            if (error == E2BIG)
                reserve(size_t(text.size()));
            continue;
        }
        // An invalid or cut-off sequence: one replacement, then go on.
        reserve(2);
        reinterpret_cast<char16_t *>(text.data())[used / 2] = u'\uFFFD';
        used += 2;
        ++in;
        --inLeft;
    }
    reserve(16);
    convert(nullptr, nullptr); // ends a stateful encoding's shift sequence
    g_mime_iconv_close(cd);
    text.resize(qsizetype(used / 2));
    return text;
}

} // namespace

namespace mailtext {

QByteArray charsetName(QByteArrayView label)
{
    QByteArray name = label.trimmed().toByteArray().toLower();
    const qsizetype language = name.indexOf('*'); // RFC 2231 "utf-8*en"
    if (language >= 0)
        name.truncate(language);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.mid(1, name.size() - 2).trimmed();
    return name;
}

QString decodeText(QByteArrayView bytes, QByteArrayView label)
{
    const QByteArray name = charsetName(label);
    switch (classify(name)) {
    case CharsetKind::Unlabelled:
        break;
    case CharsetKind::Utf8:
        return QStringDecoder(QStringDecoder::Utf8).decode(bytes);
    case CharsetKind::Windows1252:
        return fromWindows1252(bytes);
    case CharsetKind::Other:
        if (std::optional<QString> text = viaIconv(bytes, name))
            return *std::move(text);
        break;
    }
    return textFromBytes(bytes);
}

} // namespace mailtext

namespace {

GMimePart *findTextPart(GMimeObject *object, const char *subtype, int depth = 0)
{
    if (!object || depth > kMaxPartDepth)
        return nullptr;
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart *multipart = GMIME_MULTIPART(object);
        const int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count; ++i) {
            if (GMimePart *found = findTextPart(g_mime_multipart_get_part(multipart, i), subtype, depth + 1))
                return found;
        }
        return nullptr;
    }
    // An attached message is not this message's body.
    if (!GMIME_IS_PART(object))
        return nullptr;
    GMimePart *part = GMIME_PART(object);
    GMimeContentType *type = g_mime_object_get_content_type(object);
    if (type && g_mime_content_type_is_type(type, "text", subtype) && !g_mime_part_is_attachment(part))
        return part;
    return nullptr;
}

bool isIdentity(GMimeContentEncoding encoding)
{
    return encoding == GMIME_CONTENT_ENCODING_DEFAULT || encoding == GMIME_CONTENT_ENCODING_7BIT
           || encoding == GMIME_CONTENT_ENCODING_8BIT || encoding == GMIME_CONTENT_ENCODING_BINARY;
}

// HTML in UTF-8 or Windows text is read straight from its bytes: making a
// copy of a large document as text first costs as much as parsing the whole
// message. Other charsets, and a document that starts with a byte-order
// mark (which the decoder drops), go the long way.
std::optional<QString> htmlFromBytes(QByteArrayView bytes, QByteArrayView label)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return std::nullopt;
    switch (classify(charsetName(label))) {
    case CharsetKind::Utf8:
        return htmlBytesToText(bytes, HtmlBytes::Utf8);
    case CharsetKind::Unlabelled:
        return htmlBytesToText(bytes, HtmlBytes::Utf8OrWindows1252);
    case CharsetKind::Windows1252:
        return htmlBytesToText(bytes, HtmlBytes::Windows1252);
    case CharsetKind::Other:
        break;
    }
    return std::nullopt;
}

// The part's content with its transfer encoding undone, and its charset
// label. `releaseMessage` frees the raw message (and the part with it) as
// soon as the content no longer needs it, so that a large body is never
// held three times over.
void partContent(GMimePart *part, const std::function<void()> &releaseMessage, QByteArray *bytes, QByteArray *label)
{
    GMimeDataWrapper *content = g_mime_part_get_content(part);
    if (!content)
        return;
    if (const char *charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset"))
        *label = QByteArray(charset);
    GMimeStream *source = g_mime_data_wrapper_get_stream(content);
    if (isIdentity(g_mime_data_wrapper_get_encoding(content)) && source && GMIME_IS_STREAM_MEM(source)) {
        // Unencoded: the text is a stretch of the raw message.
        const GByteArray *all = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(source));
        const gint64 begin = qBound<gint64>(0, source->bound_start, all->len);
        const gint64 end = source->bound_end < 0 ? all->len : qBound<gint64>(begin, source->bound_end, all->len);
        *bytes = QByteArray(reinterpret_cast<const char *>(all->data) + begin, qsizetype(end - begin));
        releaseMessage();
        return;
    }
    // Decoding never makes the content longer.
    const gint64 length = source ? g_mime_stream_length(source) : 0;
    GObjectPtr<GMimeStream> decoded(g_mime_stream_mem_new_with_byte_array(
        g_byte_array_sized_new(guint(qBound<gint64>(0, length, gint64(kMaxMessageSize))))));
    g_mime_data_wrapper_write_to_stream(content, decoded.get());
    releaseMessage();
    const GByteArray *array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(decoded.get()));
    *bytes = QByteArray(reinterpret_cast<const char *>(array->data), qsizetype(array->len));
}

// The body as a reader sees it, from the content `partContent` gave.
QString bodyText(QByteArrayView bytes, const QByteArray &label, bool html)
{
    const QByteArray sniffed = html && label.isEmpty() ? htmlMetaCharset(bytes) : QByteArray();
    const QByteArrayView named = sniffed.isEmpty() ? QByteArrayView(label) : QByteArrayView(sniffed);
    if (html) {
        if (std::optional<QString> text = htmlFromBytes(bytes, named))
            return *std::move(text);
    }
    QString text = decodeText(bytes, named);
    return html ? htmlToText(text) : text;
}

// The header block: everything before the first empty line.
QByteArray headerBlock(QByteArrayView bytes)
{
    // Its lines end in LF alone by now.
    const qsizetype end = bytes.startsWith("\n") ? 0 : mailtext::blankLineAt(bytes);
    return (end < 0 ? bytes : bytes.first(end + 1)).toByteArray();
}

// GMime takes line breaks from the first line: a file with CR LF headers and
// an LF body loses the character before each boundary, and CR-only files are
// one long line. LF throughout parses right; the common LF-only file is untouched.
void breakLinesWithLf(GByteArray *raw)
{
    if (raw->len == 0)
        return;
    auto *const begin = reinterpret_cast<char *>(raw->data);
    char *const end = begin + raw->len;
    char *in = static_cast<char *>(std::memchr(begin, '\r', raw->len));
    if (!in)
        return;
    char *out = in;
    for (; in < end; ++in) {
        if (*in != '\r')
            *out++ = *in;
        else if (in + 1 == end || in[1] != '\n')
            *out++ = '\n';
    }
    g_byte_array_set_size(raw, guint(out - begin));
}

} // namespace

class MailMessageDecoder
{
public:
    static MailMessage decode(ByteArrayPtr raw);
};

MailMessage MailMessageDecoder::decode(ByteArrayPtr raw)
{
    ensureGMime();
    MailMessage result;
    breakLinesWithLf(raw.get());
    const QByteArrayView bytes(reinterpret_cast<const char *>(raw->data), qsizetype(raw->len));
    // The stream owns the bytes from here; `bytes` lives as long as it does.
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_byte_array(raw.release()));
    // A message saved from an mbox file keeps its "From " separator line.
    qsizetype headerStart = 0;
    if (bytes.startsWith("From ")) {
        const qsizetype lineEnd = bytes.indexOf('\n');
        headerStart = lineEnd < 0 ? bytes.size() : lineEnd + 1;
        g_mime_stream_seek(stream.get(), headerStart, GMIME_STREAM_SEEK_SET);
    }
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    // Parsed as a plain entity: GMime's own decoding of the message headers
    // is work we redo better, and quadratic on long headers of encoded words.
    GObjectPtr<GMimeObject> root(g_mime_parser_construct_part(parser.get(), nullptr));
    if (!root) {
        // No header block. Text is what a reader shows of such a file; binary is nothing.
        if (!bytes.contains('\0'))
            result.m_bodyBytes = bytes.toByteArray();
        return result;
    }

    GMimeHeaderList *headers = g_mime_object_get_header_list(root.get());
    const int count = g_mime_header_list_get_count(headers);
    bool haveSubject = false, haveFrom = false, haveReplyTo = false, haveDate = false, haveId = false;
    QList<QByteArray> cc;
    for (int i = 0; i < count; ++i) {
        GMimeHeader *header = g_mime_header_list_get_header_at(headers, i);
        const char *name = g_mime_header_get_name(header);
        const char *value = g_mime_header_get_raw_value(header);
        if (!name || !value)
            continue;
        if (!haveSubject && g_ascii_strcasecmp(name, "Subject") == 0) {
            haveSubject = true;
            result.m_subjectField = unfold(value);
        } else if (!haveFrom && g_ascii_strcasecmp(name, "From") == 0) {
            haveFrom = true;
            result.m_from = firstMailbox(value);
        } else if (!haveReplyTo && g_ascii_strcasecmp(name, "Reply-To") == 0) {
            haveReplyTo = true;
            // A Reply-To that names nobody to write to does not replace From.
            if (MailAddress replyTo = firstMailbox(value); !replyTo.address.isEmpty())
                result.m_replyTo = replyTo;
        } else if (g_ascii_strcasecmp(name, "To") == 0) {
            result.m_recipientFields += unfold(value);
        } else if (g_ascii_strcasecmp(name, "Cc") == 0) {
            cc += unfold(value);
        } else if (!haveId && g_ascii_strcasecmp(name, "Message-ID") == 0) {
            haveId = true;
            result.m_messageId = QString::fromUtf8(unfold(value));
        } else if (!haveDate && g_ascii_strcasecmp(name, "Date") == 0) {
            haveDate = true;
            result.m_dateField = unfold(value);
        }
    }
    result.m_recipientFields += cc;

    // Before the body: reading a large body frees the parsed message.
    result.m_deliveryStatus = mimeparts::statusText(root.get());
    if (GMIME_IS_MULTIPART(root.get()))
        result.m_returnedHeaders = mimeparts::returnedHeaders(root.get());
    result.m_headerText = headerBlock(bytes.sliced(headerStart));

    GMimePart *body = findTextPart(root.get(), "plain");
    const bool html = !body && (body = findTextPart(root.get(), "html"));
    if (body) {
        const auto releaseMessage = [&] {
            root.reset();
            parser.reset();
            stream.reset();
        };
        partContent(body, releaseMessage, &result.m_bodyBytes, &result.m_bodyCharset);
        result.m_bodyHtml = html;
    }
    return result;
}

QString MailMessage::subject() const
{
    if (!m_decoded.subject)
        m_decoded.subject = decodeHeaderText(m_subjectField);
    return *m_decoded.subject;
}

QString MailMessage::body() const
{
    if (!m_decoded.body) {
        m_decoded.body = toCrLf(bodyText(m_bodyBytes, m_bodyCharset, m_bodyHtml));
        m_bodyBytes = QByteArray(); // read once: the text holds it now
    }
    return *m_decoded.body;
}

QDateTime MailMessage::sentOn() const
{
    if (!m_decoded.sentOn)
        m_decoded.sentOn = m_dateField.isNull() ? QDateTime() : parseDate(m_dateField);
    return *m_decoded.sentOn;
}

QList<MailAddress> MailMessage::recipients() const
{
    if (!m_decoded.recipients) {
        QList<MailAddress> all;
        for (const QByteArray &field : m_recipientFields)
            all += parseAddressList(field);
        m_decoded.recipients = std::move(all);
    }
    return *m_decoded.recipients;
}

QString MailMessage::headerText() const
{
    return decodeText(m_headerText, "utf-8");
}

QString MailMessage::returnedHeaders() const
{
    return decodeText(m_returnedHeaders, "utf-8");
}

QDateTime MailMessage::parseDate(const QByteArray &text, Qt::TimeSpec timeSpec)
{
    if (const std::optional<qint64> seconds = plainDateSeconds(text))
        return QDateTime::fromSecsSinceEpoch(*seconds, timeSpec);
    GDateTime *date = g_mime_utils_header_decode_date(text.constData());
    if (!date)
        return {};
    const QDateTime result = QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(date), timeSpec);
    g_date_time_unref(date);
    return result;
}

MailMessage MailMessage::fromBytes(const QByteArray &raw)
{
    ByteArrayPtr bytes(g_byte_array_sized_new(guint(raw.size())));
    g_byte_array_append(bytes.get(), reinterpret_cast<const guint8 *>(raw.constData()), guint(raw.size()));
    return MailMessageDecoder::decode(std::move(bytes));
}

MailMessage MailMessage::fromFile(const QString &path)
{
    return fromFile(path, nullptr, nullptr);
}

MailMessage MailMessage::fromFile(const QString &path, bool (*isOther)(QByteArrayView head), QByteArray *other)
{
    auto failure = [&path](const QString &reason) {
        return MessageReadError(
            QStringLiteral("The message %1 cannot be read: %2").arg(QDir::toNativeSeparators(path), reason));
    };
    // Plain calls: a check reads thousands of these, and QFile's own stats
    // and end-of-file reads come to half its system calls.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw failure(qt_error_string(errno));
    const auto closing = qScopeGuard([fd] { ::close(fd); });
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0)
        throw failure(qt_error_string(errno));
    if (!S_ISREG(st.st_mode))
        throw failure(qt_error_string(S_ISDIR(st.st_mode) ? EISDIR : EINVAL));
    const qint64 size = st.st_size;
    if (size > kMaxMessageSize)
        throw failure(QStringLiteral("it is too large"));

    // Read straight into the buffer GMime parses; one byte more finds the end
    // without growing it.
    ByteArrayPtr bytes(g_byte_array_sized_new(guint(size + 1)));
    g_byte_array_set_size(bytes.get(), guint(size + 1));
    qint64 used = 0;
    for (;;) {
        if (used == qint64(bytes->len)) {
            if (used > kMaxMessageSize)
                throw failure(QStringLiteral("it is too large"));
            g_byte_array_set_size(bytes.get(), bytes->len * 2);
        }
        const ssize_t got = ::read(fd, bytes->data + used, size_t(bytes->len - used));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw failure(qt_error_string(errno));
        }
        used += got;
        // A short read of a regular file is its end.
        if (got == 0 || used < qint64(bytes->len))
            break;
    }
    g_byte_array_set_size(bytes.get(), guint(used));
    const QByteArrayView all(reinterpret_cast<const char *>(bytes->data), qsizetype(bytes->len));
    if (isOther && isOther(all.first(std::min<qsizetype>(all.size(), 64)))) {
        *other = all.toByteArray();
        return {};
    }
    return MailMessageDecoder::decode(std::move(bytes));
}

} // namespace platform::outlook
