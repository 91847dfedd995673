#include "platform/registry/RegText.h"

#include <QStringDecoder>

namespace platform::regformat::text {

QString fold(const QString &s)
{
    return s.toCaseFolded();
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QStringView trimBlanks(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

bool parseHex32(QStringView s, quint32 &out)
{
    if (s.isEmpty() || s.size() > 8)
        return false;
    out = 0;
    for (QChar c : s) {
        const int d = hexDigit(c);
        if (d < 0)
            return false;
        out = (out << 4) | quint32(d);
    }
    return true;
}

QString escapeQuoted(const QString &s)
{
    QString out;
    out.reserve(s.size() + 2);
    out += QLatin1Char('"');
    for (QChar c : s) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            out += QLatin1Char('\\');
        out += c;
    }
    out += QLatin1Char('"');
    return out;
}

bool parseQuoted(QStringView line, qsizetype &pos, QString &out)
{
    out.clear();
    ++pos; // opening quote
    while (pos < line.size()) {
        const QChar c = line[pos];
        if (c == QLatin1Char('"')) {
            ++pos;
            return true;
        }
        if (c == QLatin1Char('\\') && pos + 1 < line.size()
            && (line[pos + 1] == QLatin1Char('\\') || line[pos + 1] == QLatin1Char('"'))) {
            out += line[pos + 1];
            pos += 2;
            continue;
        }
        out += c;
        ++pos;
    }
    return false;
}

QByteArray utf16z(const QString &s)
{
    QByteArray out;
    out.reserve((s.size() + 1) * 2);
    for (QChar c : s) {
        out += char(c.unicode() & 0xff);
        out += char(c.unicode() >> 8);
    }
    out += '\0';
    out += '\0';
    return out;
}

QByteArray dwordBytes(quint32 v)
{
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = char((v >> (8 * i)) & 0xff);
    return out;
}

bool needsHex(const QString &s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c.category() == QChar::Other_Control)
            return true;
        if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate())
            return true;
    }
    return false;
}

bool hasLoneSurrogate(QStringView s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
            ++i;
        else if (s[i].isSurrogate())
            return true;
    }
    return false;
}

QStringList hexLines(const QString &prefix, const QByteArray &bytes)
{
    // Wrapped as regedit does, so the lines stay under 80 columns.
    static const char digits[] = "0123456789abcdef";
    QStringList lines;
    QString cur = prefix;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar b = uchar(bytes[i]);
        cur += QLatin1Char(digits[b >> 4]);
        cur += QLatin1Char(digits[b & 0xf]);
        if (i + 1 < bytes.size()) {
            cur += QLatin1Char(',');
            if (cur.size() >= 77) {
                cur += QLatin1Char('\\');
                lines.append(cur);
                cur = QStringLiteral("  ");
            }
        }
    }
    lines.append(cur);
    return lines;
}

QString nameField(const QString &name)
{
    return name.isEmpty() ? QStringLiteral("@") : escapeQuoted(name);
}

bool decodeText(const QByteArray &bytes, QString &out)
{
    QStringConverter::Encoding enc = QStringConverter::Utf8;
    qsizetype skip = 0;
    if (bytes.startsWith("\xff\xfe")) {
        enc = QStringConverter::Utf16LE;
        skip = 2;
    } else if (bytes.startsWith("\xfe\xff")) {
        enc = QStringConverter::Utf16BE;
        skip = 2;
    } else if (bytes.startsWith("\xef\xbb\xbf")) {
        skip = 3;
    }
    if (enc != QStringConverter::Utf8 && (bytes.size() - skip) % 2 != 0)
        return false;
    QStringDecoder dec(enc, QStringConverter::Flag::Stateless);
    out = dec.decode(QByteArrayView(bytes.constData() + skip, bytes.size() - skip));
    return !dec.hasError();
}

bool parseHexBytes(QStringView text, QByteArray &out)
{
    out.clear();
    if (trimBlanks(text).isEmpty())
        return true;
    const QList<QStringView> items = text.split(QLatin1Char(','));
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QStringView item = trimBlanks(items[i]);
        if (item.isEmpty() && i + 1 == items.size() && i > 0)
            break; // a trailing comma
        quint32 v = 0;
        if (item.size() > 2 || !parseHex32(item, v))
            return false;
        out += char(v);
    }
    return true;
}

} // namespace platform::regformat::text
