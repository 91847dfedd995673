#include "platform/outlook/MessageText.h"

#include <cctype>
#include <cstring>

namespace platform::outlook::mailtext {

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

QString toCrLf(QString text)
{
    // The usual body, read with its line ends made LF: found and copied a
    // line at a time rather than a character at a time, into a copy while
    // that costs little room.
    constexpr qsizetype CopiedUpTo = 1 << 20;
    if (text.size() <= CopiedUpTo && !text.contains(QLatin1Char('\r'))) {
        const QStringView from(text);
        qsizetype lines = 0;
        for (qsizetype at = from.indexOf(QLatin1Char('\n')); at >= 0; at = from.indexOf(QLatin1Char('\n'), at + 1))
            ++lines;
        if (lines == 0)
            return text;
        QString out(text.size() + lines, Qt::Uninitialized);
        QChar *d = out.data();
        for (qsizetype start = 0; start < from.size();) {
            qsizetype at = from.indexOf(QLatin1Char('\n'), start);
            const bool broken = at >= 0;
            if (!broken)
                at = from.size();
            std::memcpy(d, from.data() + start, size_t(at - start) * sizeof(QChar));
            d += at - start;
            if (broken) {
                *d++ = QLatin1Char('\r');
                *d++ = QLatin1Char('\n');
            }
            start = at + 1;
        }
        return out;
    }
    // Done in place: a body may be hundreds of megabytes.
    const qsizetype size = text.size();
    const char16_t *const s = reinterpret_cast<const char16_t *>(text.constData());
    // Counted without branches: text that is already right is only read.
    // A lone CR or LF grows by one; every LF after a CR was counted once too many.
    qsizetype grow = size > 0 && (s[0] == u'\r' || s[0] == u'\n');
    for (qsizetype i = 1; i < size; ++i) {
        const bool cr = s[i] == u'\r', lf = s[i] == u'\n';
        grow += qsizetype(cr) + qsizetype(lf) - 2 * qsizetype(lf & (s[i - 1] == u'\r'));
    }
    if (grow == 0)
        return text;
    text.resize(size + grow);
    char16_t *const d = reinterpret_cast<char16_t *>(text.data());
    // Move the text to the end, then write forward: the writer never passes the reader.
    std::memmove(d + grow, d, size_t(size) * sizeof(char16_t));
    qsizetype w = 0;
    for (qsizetype r = grow; r < size + grow; ++r) {
        const char16_t c = d[r];
        if (c != u'\r' && c != u'\n') {
            d[w++] = c;
            continue;
        }
        d[w++] = u'\r';
        d[w++] = u'\n';
        if (c == u'\r' && r + 1 < size + grow && d[r + 1] == u'\n')
            ++r;
    }
    text.truncate(w);
    return text;
}

} // namespace platform::outlook::mailtext
