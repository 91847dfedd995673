#include "platform/mapi/MessageBuilder.h"
#include "platform/mapi/MapiText.h"

#include "platform/text/LegacyText.h"

#include <QHash>
#include <QRandomGenerator>

#include <gmime/gmime.h>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mapistandin {

namespace {

constexpr qsizetype kChunk = 64 * 1024;

// A content type a mail client can open; every attachment goes as base64,
// so its bytes arrive unchanged whatever the type says.
std::pair<QByteArray, QByteArray> contentTypeFor(const QString &fileName)
{
    static const QHash<QString, std::pair<QByteArray, QByteArray>> types{
        {QStringLiteral("txt"), {"text", "plain"}},      {QStringLiteral("csv"), {"text", "csv"}},
        {QStringLiteral("htm"), {"text", "html"}},       {QStringLiteral("html"), {"text", "html"}},
        {QStringLiteral("rtf"), {"application", "rtf"}}, {QStringLiteral("pdf"), {"application", "pdf"}},
        {QStringLiteral("zip"), {"application", "zip"}}, {QStringLiteral("png"), {"image", "png"}},
        {QStringLiteral("gif"), {"image", "gif"}},       {QStringLiteral("jpg"), {"image", "jpeg"}},
        {QStringLiteral("jpeg"), {"image", "jpeg"}},
    };
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString suffix = dot >= 0 ? fileName.mid(dot + 1).toLower() : QString();
    return types.value(suffix, {"application", "octet-stream"});
}

ULONG openFailure(int error)
{
    return (error == ENOENT || error == ENOTDIR) ? MAPI_E_ATTACHMENT_NOT_FOUND : MAPI_E_ATTACHMENT_OPEN_FAILURE;
}

class FileCloser
{
public:
    explicit FileCloser(int fd)
        : m_fd(fd)
    {
    }
    ~FileCloser() { ::close(m_fd); }
    FileCloser(const FileCloser &) = delete;
    FileCloser &operator=(const FileCloser &) = delete;

private:
    int m_fd;
};

// A regular file that can be read, or the code saying why not. Opened
// without waiting: a pipe would hold the open until someone wrote to it,
// and a terminal would become ours. O_NONBLOCK does nothing to the reads of
// a regular file.
ULONG openAttachment(const QByteArray &path, int *fd)
{
    *fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (*fd < 0)
        return openFailure(errno);
    struct stat st;
    if (::fstat(*fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(*fd);
        return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    }
    return SUCCESS_SUCCESS;
}

// Whole reads; 0 at the end, -1 with errno on failure.
ssize_t readChunk(int fd, QByteArray *buffer)
{
    buffer->resize(kChunk);
    ssize_t n;
    do
        n = ::read(fd, buffer->data(), size_t(kChunk));
    while (n < 0 && errno == EINTR);
    buffer->resize(n > 0 ? qsizetype(n) : 0);
    return n;
}

// Buffered writes to the message file; the first failure stops them and
// keeps its errno.
class FileWriter
{
public:
    explicit FileWriter(int fd)
        : m_fd(fd)
    {
    }

    void write(QByteArrayView bytes)
    {
        if (m_error)
            return;
        m_buffer += bytes;
        if (m_buffer.size() >= kChunk)
            flush();
    }

    bool flush()
    {
        for (qsizetype done = 0; done < m_buffer.size() && !m_error;) {
            const ssize_t n = ::write(m_fd, m_buffer.constData() + done, size_t(m_buffer.size() - done));
            if (n >= 0)
                done += n;
            else if (errno != EINTR)
                m_error = errno;
        }
        m_buffer.clear();
        return !m_error;
    }

    int error() const { return m_error; }

private:
    int m_fd;
    int m_error = 0;
    QByteArray m_buffer;
};

// Content in a transfer encoding, fed in pieces.
class Encoder
{
public:
    Encoder(GMimeContentEncoding encoding, FileWriter *out)
        : m_out(out)
    {
        g_mime_encoding_init_encode(&m_state, encoding);
    }

    void feed(QByteArrayView bytes) { step(bytes, false); }
    void finish() { step({}, true); }

private:
    void step(QByteArrayView bytes, bool last)
    {
        m_scratch.resize(qsizetype(g_mime_encoding_outlen(&m_state, size_t(bytes.size()))));
        const auto code = last ? g_mime_encoding_flush : g_mime_encoding_step;
        const size_t n = code(&m_state, bytes.data(), size_t(bytes.size()), m_scratch.data());
        m_out->write(QByteArrayView(m_scratch.constData(), qsizetype(n)));
    }

    GMimeEncoding m_state;
    FileWriter *m_out;
    QByteArray m_scratch;
};

// Plain ASCII in short lines goes as it is; text that is mostly non-ASCII
// is smaller in base64.
GMimeContentEncoding bodyEncoding(const QByteArray &utf8)
{
    qsizetype high = 0, line = 0, longest = 0;
    for (const char c : utf8) {
        if (static_cast<unsigned char>(c) >= 0x80)
            ++high;
        line = c == '\n' ? 0 : line + 1;
        longest = std::max(longest, line);
    }
    if (high == 0 && longest <= 78)
        return GMIME_CONTENT_ENCODING_7BIT;
    return high > utf8.size() / 6 ? GMIME_CONTENT_ENCODING_BASE64 : GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
}

void writeContent(const QByteArray &content, GMimeContentEncoding encoding, FileWriter *out)
{
    if (encoding == GMIME_CONTENT_ENCODING_7BIT) {
        out->write(content);
        return;
    }
    Encoder encoder(encoding, out);
    encoder.feed(content);
    encoder.finish();
}

// Text attachments are labelled UTF-8 when they are, which takes a first
// pass over their bytes.
ULONG isUtf8File(int fd, bool *utf8)
{
    platform::Utf8Check check;
    QByteArray buffer;
    ssize_t n;
    while ((n = readChunk(fd, &buffer)) > 0 && !check.failed())
        check.feed(buffer);
    if (n < 0 || ::lseek(fd, 0, SEEK_SET) != 0)
        return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    *utf8 = check.isValid();
    return SUCCESS_SUCCESS;
}

ULONG writeAttachment(const AttachmentFile &file, FileWriter *out)
{
    int fd;
    if (const ULONG code = openAttachment(file.path, &fd))
        return code;
    const FileCloser closer(fd);
    const auto [type, subtype] = contentTypeFor(file.fileName);
    QVector<MimeParameter> params;
    if (type == "text") {
        bool utf8 = false;
        if (const ULONG code = isUtf8File(fd, &utf8))
            return code;
        if (utf8)
            params.append({"charset", QStringLiteral("utf-8")});
    }
    params.append({"name", file.fileName});
    out->write(parameterField("Content-Type", type + '/' + subtype, params));
    out->write(parameterField("Content-Disposition", "attachment", {{"filename", file.fileName}}));
    out->write("Content-Transfer-Encoding: base64\n\n");
    Encoder encoder(GMIME_CONTENT_ENCODING_BASE64, out);
    QByteArray buffer;
    ssize_t n;
    while ((n = readChunk(fd, &buffer)) > 0 && !out->error())
        encoder.feed(buffer);
    if (n < 0)
        return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    encoder.finish();
    return SUCCESS_SUCCESS;
}

// Only fields that describe the list may be added, each one line of
// printable ASCII within the line limit.
bool allowedExtraField(const QByteArray &line)
{
    static const char *const names[] = {"List-Id",    "List-Unsubscribe", "List-Subscribe", "List-Help",
                                        "List-Owner", "List-Post",        "List-Archive",   "Precedence"};
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0 || line.size() > 998 || line.size() <= colon + 2 || line.at(colon + 1) != ' ')
        return false;
    for (const char c : line) {
        if (c < 0x20 || c > 0x7e)
            return false;
    }
    const QByteArray name = line.left(colon);
    return std::any_of(std::begin(names), std::end(names),
                       [&](const char *n) { return name.compare(n, Qt::CaseInsensitive) == 0; });
}

QVector<Mailbox> withHeaderNames(QVector<Mailbox> boxes)
{
    for (Mailbox &box : boxes)
        box.name = headerText(box.name).trimmed();
    return boxes;
}

} // namespace

QVector<QByteArray> extraFieldsOf(const char *messageType)
{
    QVector<QByteArray> fields;
    if (!messageType)
        return fields;
    const QByteArrayList lines = QByteArray(messageType).split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).endsWith('\r') ? lines.at(i).chopped(1) : lines.at(i);
        if (!line.isEmpty())
            fields.append(line);
    }
    return fields;
}

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
    QByteArray head; // every field of the message itself
    QByteArray body; // UTF-8
    QVector<AttachmentFile> attachments;
};

PreparedMessage::PreparedMessage()
    : d(std::make_unique<Impl>())
{
}
PreparedMessage::~PreparedMessage() = default;

ULONG PreparedMessage::prepare(const OutgoingMessage &m, std::unique_ptr<PreparedMessage> *out)
{
    std::unique_ptr<PreparedMessage> prepared(new PreparedMessage);
    Impl &d = *prepared->d;
    const QVector<Mailbox> from = withHeaderNames({m.from});
    const std::optional<QByteArray> fromField = mailboxField("From", from);
    if (!fromField)
        return MAPI_E_FAILURE; // the profile's own address
    d.head = dateField(QDateTime::currentDateTime()) + *fromField;
    const QString subject = headerText(m.subject).trimmed();
    if (!subject.isEmpty())
        d.head += unstructuredField("Subject", subject);
    const std::pair<const char *, const QVector<Mailbox> *> lists[] = {{"To", &m.to}, {"Cc", &m.cc}, {"Bcc", &m.bcc}};
    for (const auto &[name, boxes] : lists) {
        if (boxes->isEmpty())
            continue; // no empty field
        const std::optional<QByteArray> field = mailboxField(name, withHeaderNames(*boxes));
        if (!field)
            return MAPI_E_UNKNOWN_RECIPIENT;
        d.head += *field;
    }
    const std::optional<QByteArray> sender = addrSpec(m.from.address);
    if (!sender)
        return MAPI_E_FAILURE;
    d.head += messageIdField(sender->mid(sender->lastIndexOf('@') + 1));
    if (m.receiptRequested)
        d.head += *mailboxField("Disposition-Notification-To", from);
    for (const QByteArray &field : m.extraFields) {
        if (!allowedExtraField(field))
            return MAPI_E_FAILURE;
        d.head += field + '\n';
    }
    d.head += "MIME-Version: 1.0\n";
    d.body = bodyText(m.body).toUtf8();

    for (const AttachmentFile &file : m.attachments) {
        int fd;
        if (const ULONG code = openAttachment(file.path, &fd))
            return code;
        ::close(fd);
        d.attachments.append({file.path, headerText(file.fileName).trimmed()});
    }
    *out = std::move(prepared);
    return SUCCESS_SUCCESS;
}

ULONG PreparedMessage::writeTo(int fd)
{
    FileWriter out(fd);
    out.write(d->head);
    const GMimeContentEncoding encoding = bodyEncoding(d->body);
    const QByteArray textHeader = QByteArray("Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: ")
                                  + g_mime_content_encoding_to_string(encoding) + "\n\n";
    if (d->attachments.isEmpty()) {
        out.write(textHeader);
        writeContent(d->body, encoding, &out);
    } else {
        quint64 random[2];
        QRandomGenerator::system()->fillRange(random);
        // "=_" never occurs in base64 or quoted-printable text.
        const QByteArray boundary = "=_" + QByteArray::number(random[0], 36) + '.' + QByteArray::number(random[1], 36);
        out.write(parameterField("Content-Type", "multipart/mixed", {{"boundary", QString::fromLatin1(boundary)}}));
        out.write("\n--" + boundary + '\n' + textHeader);
        writeContent(d->body, encoding, &out);
        for (const AttachmentFile &file : std::as_const(d->attachments)) {
            out.write("\n--" + boundary + '\n');
            if (const ULONG code = writeAttachment(file, &out))
                return code;
            if (out.error())
                break;
        }
        out.write("\n--" + boundary + "--\n");
    }
    return out.flush() ? SUCCESS_SUCCESS : codeForErrno(out.error());
}

} // namespace mapistandin
