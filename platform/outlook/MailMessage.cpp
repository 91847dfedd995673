#include "platform/outlook/MailMessage.h"

#include "platform/text/LegacyText.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QSysInfo>
#include <QTextDocument>
#include <QUrl>
#include <QVariant>

#include <gmime/gmime.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

namespace platform::outlook {

MessageReadError::MessageReadError(const QString &message)
    : std::runtime_error(message.toStdString())
    , m_message(message)
{
}

namespace {

// GByteArray lengths are 32-bit; no real message comes near this.
constexpr qint64 kMaxMessageSize = qint64(1) << 30;
// Deeper nesting is an attack, not a message.
constexpr int kMaxPartDepth = 64;
constexpr QStringView kCrLf = u"\r\n";

void ensureGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

struct GObjectUnref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct ByteArrayUnref
{
    void operator()(GByteArray *array) const { g_byte_array_unref(array); }
};
using ByteArrayPtr = std::unique_ptr<GByteArray, ByteArrayUnref>;

using platform::fromStrictUtf8;
using platform::fromWindows1252;

// Unlabelled 8-bit text is UTF-8 when it is valid UTF-8, else Windows text.
QString fromUnlabelled(QByteArrayView bytes)
{
    if (std::optional<QString> text = fromStrictUtf8(bytes))
        return *std::move(text);
    return fromWindows1252(bytes);
}

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
        "iso-8859-1", "iso8859-1", "iso_8859-1", "iso_8859-1:1987", "latin1", "latin-1", "l1",
        "cp819", "ibm819", "iso-ir-100", "us-ascii", "ascii", "us", "ansi_x3.4-1968", "iso646-us",
        "windows-1252", "cp1252", "x-cp1252", "cp-1252",
    };
    for (const char *label : windowsLabels) {
        if (name == label)
            return CharsetKind::Windows1252;
    }
    return CharsetKind::Other;
}

std::optional<QString> viaIconv(QByteArrayView bytes, const QByteArray &charset)
{
    static const char *const utf16 =
        QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE";
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
    return fromUnlabelled(bytes);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// GMime keeps the fold's tab; a reader shows one blank per fold.
QByteArray unfold(const char *raw)
{
    QByteArray value;
    if (!raw)
        return value;
    for (const char *p = raw; *p;) {
        const size_t length = std::strcspn(p, "\r\n");
        const QByteArrayView line = QByteArrayView(p, qsizetype(length)).trimmed();
        p += length;
        while (*p == '\r' || *p == '\n' || isBlank(*p))
            ++p;
        if (line.isEmpty())
            continue;
        if (!value.isEmpty())
            value += ' ';
        value += line;
    }
    return value;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

QByteArray decodeQ(QByteArrayView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            bytes += ' ';
        } else if (c == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0
                   && hexValue(text[i + 2]) >= 0) {
            bytes += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            bytes += c;
        }
    }
    return bytes;
}

// RFC 2047, leniently: encoded words anywhere, text with blanks, broken
// base64 decoded as far as it goes. Adjacent words of one charset are joined
// as bytes first, since mailers split characters across them.
class HeaderTextDecoder
{
public:
    explicit HeaderTextDecoder(QByteArrayView s)
        : m_s(s)
    {
    }

    QString decode()
    {
        qsizetype at = m_s.indexOf("=?");
        if (at < 0)
            return fromUnlabelled(m_s);
        qsizetype plainFrom = 0;
        while (at >= 0) {
            if (!readWord(at)) {
                at = m_s.indexOf("=?", at + 2);
                continue;
            }
            const QByteArrayView gap = m_s.sliced(plainFrom, at - plainFrom);
            const bool onlyBlanks = std::all_of(gap.begin(), gap.end(), isBlank);
            if (!(m_inRun && onlyBlanks)) {
                flushRun();
                m_out += fromUnlabelled(gap);
            }
            if (m_inRun && m_wordCharset != m_runCharset)
                flushRun();
            if (!m_inRun) {
                m_runCharset = m_wordCharset;
                m_inRun = true;
            }
            m_runBytes += m_wordBytes;
            plainFrom = m_wordEnd;
            at = m_s.indexOf("=?", plainFrom);
        }
        flushRun();
        m_out += fromUnlabelled(m_s.sliced(plainFrom));
        return m_out;
    }

private:
    // Reads "=?charset?B|Q?text?=" at `at` into m_word*.
    bool readWord(qsizetype at)
    {
        const qsizetype question = m_s.indexOf('?', at + 2);
        if (question < 0 || question == at + 2 || question + 3 > m_s.size())
            return false;
        const QByteArrayView charset = m_s.sliced(at + 2, question - at - 2);
        if (std::any_of(charset.begin(), charset.end(), isBlank))
            return false;
        const char encoding = m_s[question + 1];
        if (m_s[question + 2] != '?')
            return false;
        const qsizetype textFrom = question + 3;
        // Remembered, so a header full of unclosed words stays linear.
        if (m_closeAt < textFrom && !m_noMoreClose) {
            m_closeAt = m_s.indexOf("?=", textFrom);
            m_noMoreClose = m_closeAt < 0;
        }
        if (m_closeAt < textFrom)
            return false;
        const QByteArrayView text = m_s.sliced(textFrom, m_closeAt - textFrom);
        // Blanks inside are tolerated, the start of another word is not: it
        // means this one was never closed.
        if (text.contains("=?"))
            return false;
        if (encoding == 'B' || encoding == 'b')
            m_wordBytes = QByteArray::fromBase64(text.toByteArray());
        else if (encoding == 'Q' || encoding == 'q')
            m_wordBytes = decodeQ(text);
        else
            return false;
        m_wordCharset = charsetName(charset);
        m_wordEnd = m_closeAt + 2;
        return true;
    }

    void flushRun()
    {
        if (!m_inRun)
            return;
        m_out += decodeText(m_runBytes, m_runCharset);
        m_runBytes.clear();
        m_inRun = false;
    }

    QByteArrayView m_s;
    QString m_out;
    qsizetype m_closeAt = -1;
    bool m_noMoreClose = false;
    QByteArray m_wordCharset;
    QByteArray m_wordBytes;
    qsizetype m_wordEnd = 0;
    bool m_inRun = false;
    QByteArray m_runCharset;
    QByteArray m_runBytes;
};

// Encoded words can carry line breaks; a subject or name stays one line.
QString decodeHeaderText(QByteArrayView s)
{
    QString text = HeaderTextDecoder(s).decode();
    if (text.contains(u'\r') || text.contains(u'\n')) {
        text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        text.replace(u'\r', u' ');
        text.replace(u'\n', u' ');
    }
    return text;
}

struct RawMailbox
{
    QByteArray phrase; // the words outside <>, one blank between
    QByteArray bare;   // the same words run together: an address without <>
    QByteArray angle;
    QByteArray comment;
    int words = 0;
    bool quoted = false;
    bool hasAngle = false;

    bool isEmpty() const { return words == 0 && !hasAngle && comment.isEmpty(); }
};

bool endsAtom(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"' || c == '(' || c == '<'
        || c == ',' || c == ';' || c == ':';
}

QByteArray angleAddress(QByteArrayView inner)
{
    QByteArray address;
    address.reserve(inner.size());
    for (char c : inner) {
        if (!isBlank(c) && c != '\r' && c != '\n')
            address += c;
    }
    // An obsolete source route "@relay:user@host" (or "mailto:") precedes the address.
    const qsizetype colon = address.lastIndexOf(':');
    if (colon >= 0)
        address.remove(0, colon + 1);
    return address;
}

// A lenient RFC 5322 address-list reader; names stay raw for our own decoding.
QList<RawMailbox> splitAddressList(QByteArrayView s)
{
    QList<RawMailbox> boxes;
    RawMailbox box;
    auto addWord = [&box](QByteArrayView word, QByteArrayView bareForm) {
        if (!box.phrase.isEmpty())
            box.phrase += ' ';
        box.phrase += word;
        box.bare += bareForm;
        ++box.words;
    };
    auto finish = [&] {
        if (!box.isEmpty())
            boxes.append(std::move(box));
        box = RawMailbox();
    };

    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n) {
        const char c = s[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
        } else if (c == '"') {
            QByteArray text;
            for (++i; i < n && s[i] != '"'; ++i) {
                if (s[i] == '\\' && i + 1 < n)
                    ++i;
                text += s[i];
            }
            ++i;
            addWord(text, QByteArray('"' + text + '"'));
            box.quoted = true;
        } else if (c == '(') {
            QByteArray text;
            int depth = 1;
            for (++i; i < n; ++i) {
                const char d = s[i];
                if (d == '\\' && i + 1 < n) {
                    text += s[++i];
                    continue;
                }
                if (d == '(')
                    ++depth;
                else if (d == ')' && --depth == 0) {
                    ++i;
                    break;
                }
                text += d;
            }
            if (box.comment.isEmpty())
                box.comment = text.trimmed();
        } else if (c == '<') {
            const qsizetype close = s.indexOf('>', i + 1);
            const qsizetype end = close < 0 ? n : close;
            if (!box.hasAngle) {
                box.angle = angleAddress(s.sliced(i + 1, end - i - 1));
                box.hasAngle = true;
            }
            i = end + 1;
        } else if (c == ',' || c == ';') {
            finish();
            ++i;
        } else if (c == ':') {
            // A group's name; its members follow.
            if (!box.hasAngle)
                box = RawMailbox();
            ++i;
        } else {
            qsizetype j = i + 1;
            while (j < n && !endsAtom(s[j]))
                ++j;
            addWord(s.sliced(i, j - i), s.sliced(i, j - i));
            i = j;
        }
    }
    finish();
    return boxes;
}

QList<MailAddress> parseAddressList(QByteArrayView s)
{
    QList<RawMailbox> boxes = splitAddressList(s);
    QList<MailAddress> addresses;
    for (qsizetype i = 0; i < boxes.size(); ++i) {
        RawMailbox &box = boxes[i];
        const bool noAddress = !box.hasAngle && !box.bare.contains('@');
        // "Bloggs, Joe <joe@example.org>" from mailers that do not quote the comma.
        if (noAddress && box.comment.isEmpty() && i + 1 < boxes.size() && boxes[i + 1].hasAngle
            && !boxes[i + 1].phrase.isEmpty()) {
            boxes[i + 1].phrase.prepend(box.phrase + ", ");
            continue;
        }
        const QByteArray &name = box.phrase.isEmpty() ? box.comment : box.phrase;
        MailAddress address;
        if (box.hasAngle) {
            address.address = fromUnlabelled(box.angle);
            address.name = decodeHeaderText(name).trimmed();
        } else if (!noAddress || (box.words == 1 && !box.quoted)) {
            address.address = fromUnlabelled(box.bare); // "root" is a local address
            address.name = decodeHeaderText(box.comment).trimmed();
        } else {
            address.name = decodeHeaderText(name).trimmed();
        }
        if (!address.isEmpty())
            addresses.append(address);
    }
    return addresses;
}

MailAddress firstMailbox(const char *raw)
{
    const QList<MailAddress> list = parseAddressList(unfold(raw));
    return list.isEmpty() ? MailAddress() : list.first();
}

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

QByteArray htmlMetaCharset(QByteArrayView html)
{
    const QByteArray head = html.first(qMin<qsizetype>(html.size(), 4096)).toByteArray().toLower();
    qsizetype at = head.indexOf("charset=");
    if (at < 0)
        return {};
    at += 8;
    while (at < head.size() && (head[at] == '"' || head[at] == '\'' || isBlank(head[at])))
        ++at;
    qsizetype end = at;
    while (end < head.size()
           && (std::isalnum(static_cast<uchar>(head[end])) || QByteArrayView("-_.:").contains(head[end])))
        ++end;
    return head.mid(at, end - at);
}

// A message must never make us read a local file or device (<img src="/dev/zero">).
class InertDocument : public QTextDocument
{
protected:
    QVariant loadResource(int, const QUrl &) override { return {}; }
};

// The document keeps the source's blanks between blocks at the ends of lines.
QString withoutTrailingBlanks(const QString &text)
{
    QString out;
    out.reserve(text.size());
    qsizetype blanksFrom = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u' ' || c == u'\t') {
            if (blanksFrom < 0)
                blanksFrom = i;
            continue;
        }
        if (blanksFrom >= 0 && c != u'\n')
            out += QStringView(text).sliced(blanksFrom, i - blanksFrom);
        blanksFrom = -1;
        out += c;
    }
    return out;
}

QString htmlToText(const QString &html)
{
    InertDocument document;
    document.setHtml(html);
    QString text = document.toPlainText();
    text.remove(QChar::ObjectReplacementCharacter); // where images were
    text.replace(QChar::Nbsp, u' ');
    return withoutTrailingBlanks(text);
}

QString partText(GMimePart *part, bool html)
{
    GMimeDataWrapper *content = g_mime_part_get_content(part);
    if (!content)
        return {};
    GObjectPtr<GMimeStream> sink(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, sink.get());
    const GByteArray *array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(sink.get()));
    const QByteArrayView bytes(reinterpret_cast<const char *>(array->data), qsizetype(array->len));

    const char *charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
    const QByteArrayView label = charset ? QByteArrayView(charset) : QByteArrayView();
    if (!html)
        return decodeText(bytes, label);
    const QByteArray sniffed = label.isEmpty() ? htmlMetaCharset(bytes) : QByteArray();
    return htmlToText(decodeText(bytes, sniffed.isEmpty() ? label : QByteArrayView(sniffed)));
}

QString toCrLf(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 16 + 2);
    const QStringView view(text);
    if (!view.contains(u'\r')) {
        // The usual case, since the raw bytes were made LF-only before parsing.
        qsizetype from = 0;
        for (qsizetype at; (at = view.indexOf(u'\n', from)) >= 0; from = at + 1) {
            out += view.sliced(from, at - from);
            out += kCrLf;
        }
        out += view.sliced(from);
        return out;
    }
    const QChar *p = text.constData();
    const QChar *const end = p + text.size();
    const QChar *chunk = p;
    while (p < end) {
        const char16_t c = p->unicode();
        if (c != u'\r' && c != u'\n') {
            ++p;
            continue;
        }
        out.append(chunk, p - chunk);
        out += kCrLf;
        if (c == u'\r' && p + 1 < end && p[1] == u'\n')
            ++p;
        chunk = ++p;
    }
    out.append(chunk, end - chunk);
    return out;
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
    if (bytes.startsWith("From ")) {
        const qsizetype lineEnd = bytes.indexOf('\n');
        g_mime_stream_seek(stream.get(), lineEnd < 0 ? bytes.size() : lineEnd + 1, GMIME_STREAM_SEEK_SET);
    }
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    // Parsed as a plain entity: GMime's own decoding of the message headers
    // is work we redo better, and quadratic on long headers of encoded words.
    GObjectPtr<GMimeObject> root(g_mime_parser_construct_part(parser.get(), nullptr));
    if (!root) {
        // No header block. Text is what a reader shows of such a file; binary is nothing.
        if (!bytes.contains('\0'))
            result.m_body = toCrLf(fromUnlabelled(bytes));
        return result;
    }

    GMimeHeaderList *headers = g_mime_object_get_header_list(root.get());
    const int count = g_mime_header_list_get_count(headers);
    bool haveSubject = false, haveFrom = false, haveReplyTo = false, haveDate = false;
    QList<MailAddress> to, cc;
    for (int i = 0; i < count; ++i) {
        GMimeHeader *header = g_mime_header_list_get_header_at(headers, i);
        const char *name = g_mime_header_get_name(header);
        const char *value = g_mime_header_get_raw_value(header);
        if (!name || !value)
            continue;
        if (!haveSubject && g_ascii_strcasecmp(name, "Subject") == 0) {
            haveSubject = true;
            result.m_subject = decodeHeaderText(unfold(value));
        } else if (!haveFrom && g_ascii_strcasecmp(name, "From") == 0) {
            haveFrom = true;
            result.m_from = firstMailbox(value);
        } else if (!haveReplyTo && g_ascii_strcasecmp(name, "Reply-To") == 0) {
            haveReplyTo = true;
            // A Reply-To that names nobody to write to does not replace From.
            if (MailAddress replyTo = firstMailbox(value); !replyTo.address.isEmpty())
                result.m_replyTo = replyTo;
        } else if (g_ascii_strcasecmp(name, "To") == 0) {
            to += parseAddressList(unfold(value));
        } else if (g_ascii_strcasecmp(name, "Cc") == 0) {
            cc += parseAddressList(unfold(value));
        } else if (!haveDate && g_ascii_strcasecmp(name, "Date") == 0) {
            haveDate = true;
            if (GDateTime *date = g_mime_utils_header_decode_date(unfold(value).constData())) {
                result.m_sentOn = QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(date));
                g_date_time_unref(date);
            }
        }
    }
    result.m_recipients = to + cc;

    if (GMimePart *plain = findTextPart(root.get(), "plain"))
        result.m_body = toCrLf(partText(plain, false));
    else if (GMimePart *html = findTextPart(root.get(), "html"))
        result.m_body = toCrLf(partText(html, true));
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
    QFile file(path);
    auto failure = [&path](const QString &reason) {
        return MessageReadError(QStringLiteral("The message %1 cannot be read: %2")
                                    .arg(QDir::toNativeSeparators(path), reason));
    };
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw failure(file.errorString());
    const qint64 size = file.size();
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
        const qint64 got = file.read(reinterpret_cast<char *>(bytes->data) + used, bytes->len - used);
        if (got < 0)
            throw failure(file.errorString());
        if (got == 0)
            break;
        used += got;
    }
    g_byte_array_set_size(bytes.get(), guint(used));
    return MailMessageDecoder::decode(std::move(bytes));
}

} // namespace platform::outlook
