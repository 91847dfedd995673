#include "platform/outlook/MessageText.h"

#include "platform/text/LegacyText.h"

#include <algorithm>
#include <cstring>

namespace platform::outlook::mailtext {

// Line ends found by memchr: searching for the pair itself goes a byte at a
// time, and every message's header is searched so.
qsizetype blankLineAt(QByteArrayView bytes, qsizetype from)
{
    const char *const begin = bytes.data();
    const char *const end = begin + bytes.size();
    for (const char *p = begin + from; p < end;) {
        const auto *lf = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        if (!lf)
            return -1;
        const char *next = lf + 1;
        if (next < end && (*next == '\n' || (*next == '\r' && next + 1 < end && next[1] == '\n')))
            return lf - begin;
        p = next;
    }
    return -1;
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

namespace {

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
        } else if (c == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
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
            return textFromBytes(m_s);
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
                m_out += textFromBytes(gap);
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
        m_out += textFromBytes(m_s.sliced(plainFrom));
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

} // namespace

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

} // namespace platform::outlook::mailtext
