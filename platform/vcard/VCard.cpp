#include "platform/vcard/VCard.h"

#include "platform/text/LegacyText.h"

#include <QStringDecoder>

namespace platform::vcard {

namespace {

struct Property
{
    QByteArray name;
    QList<QByteArray> params;
    QByteArray value;
};

bool mentionsQuotedPrintable(QByteArrayView text)
{
    return text.toByteArray().toUpper().contains("QUOTED-PRINTABLE");
}

// Where a property's name and parameters end: its first colon outside quotes.
qsizetype headEnd(QByteArrayView line, bool &quoted)
{
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted)
            return i;
    }
    return -1;
}

// Lines ended by CR LF, LF or a lone CR, as the writers of cards use them.
QList<QByteArrayView> physicalLines(const QByteArray &bytes)
{
    QList<QByteArrayView> lines;
    qsizetype begin = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        lines.append(QByteArrayView(bytes).sliced(begin, i - begin));
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        begin = i + 1;
    }
    lines.append(QByteArrayView(bytes).sliced(begin));
    return lines;
}

// vCard 2.1 soft line breaks of quoted-printable values, then folded lines.
// Only the parameters say a value is quoted-printable, never its text.
QList<QByteArray> unfoldedLines(const QByteArray &bytes)
{
    static constexpr qsizetype kMarkerLength = 16; // "QUOTED-PRINTABLE"
    QList<QByteArray> lines;
    // Kept up to date as pieces are joined to the last line rather than
    // found again on every soft break: whether its head mentions
    // quoted-printable, and whether its head is still going on.
    bool lastQuoted = false;
    bool inHead = false;
    bool quoted = false;
    auto takeHead = [&](QByteArrayView text, qsizetype overlapFrom) {
        const qsizetype end = headEnd(text.sliced(overlapFrom), quoted);
        const QByteArrayView head = end < 0 ? text : text.first(overlapFrom + end);
        lastQuoted = lastQuoted
                     || mentionsQuotedPrintable(
                         head.sliced(qMin(head.size(), qMax<qsizetype>(0, overlapFrom - (kMarkerLength - 1)))));
        inHead = end < 0;
    };
    auto join = [&](QByteArrayView piece) {
        QByteArray &last = lines.last();
        const qsizetype from = last.size();
        last += piece;
        if (inHead)
            takeHead(last, from);
    };
    for (const QByteArrayView line : physicalLines(bytes)) {
        const bool continuation = !lines.isEmpty() && (line.startsWith(' ') || line.startsWith('\t'));
        const bool softBreak = !lines.isEmpty() && lastQuoted && lines.last().endsWith('=');
        if (softBreak) {
            lines.last().chop(1);
            join(line);
        } else if (continuation) {
            join(line.sliced(1));
        } else {
            lines.append(line.toByteArray());
            lastQuoted = false;
            quoted = false;
            takeHead(lines.last(), 0);
        }
    }
    return lines;
}

Property parseLine(const QByteArray &line)
{
    Property p;
    int colon = -1;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon < 0)
        return p;
    QList<QByteArray> head = line.left(colon).split(';');
    QByteArray name = head.takeFirst().trimmed().toUpper();
    if (const int dot = name.lastIndexOf('.'); dot >= 0)
        name = name.mid(dot + 1); // group prefix
    p.name = name;
    for (const QByteArray &param : std::as_const(head))
        p.params.append(param.trimmed().toUpper());
    p.value = line.mid(colon + 1);
    return p;
}

QByteArray paramValue(const Property &p, const QByteArray &key)
{
    for (const QByteArray &param : p.params) {
        if (param.startsWith(key + '='))
            return param.mid(key.size() + 1);
    }
    return {};
}

QByteArray decodeQuotedPrintable(const QByteArray &in)
{
    QByteArray out;
    out.reserve(in.size());
    for (int i = 0; i < in.size(); ++i) {
        if (in[i] == '=' && i + 2 < in.size()) {
            bool ok = false;
            const int byte = in.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                out += char(byte);
                i += 2;
                continue;
            }
        }
        out += in[i];
    }
    return out;
}

QString decodeValue(const Property &p)
{
    QByteArray raw = p.value;
    if (p.params.contains("QUOTED-PRINTABLE") || paramValue(p, "ENCODING") == "QUOTED-PRINTABLE")
        raw = decodeQuotedPrintable(raw);
    const QByteArray charset = paramValue(p, "CHARSET");
    if (!charset.isEmpty() && charset != "UTF-8") {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder.decode(raw);
    }
    return platform::textFromBytes(raw);
}

// Backslash escapes of vCard 3 and 4; commas split list values.
QStringList splitEscaped(const QString &value, QChar separator)
{
    QStringList out{QString()};
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar n = value[++i];
            out.last() += (n == QLatin1Char('n') || n == QLatin1Char('N')) ? QChar(QLatin1Char('\n')) : n;
        } else if (c == separator) {
            out.append(QString());
        } else {
            out.last() += c;
        }
    }
    for (QString &s : out)
        s = s.trimmed();
    return out;
}

} // namespace

QList<VCardContact> readVCards(const QByteArray &bytes)
{
    QList<VCardContact> out;
    bool inCard = false;
    VCardContact card;
    QString structuredName;
    bool havePreferred = false;
    const QByteArray text = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    for (const QByteArray &line : unfoldedLines(text)) {
        const Property p = parseLine(line);
        if (p.name == "BEGIN" && p.value.trimmed().toUpper() == "VCARD") {
            inCard = true;
            card = VCardContact();
            structuredName.clear();
            havePreferred = false;
        } else if (!inCard) {
            continue;
        } else if (p.name == "END") {
            inCard = false;
            if (card.fullName.isEmpty())
                card.fullName = !structuredName.isEmpty() ? structuredName : card.nicknames.value(0);
            out.append(card);
        } else if (p.name == "FN") {
            card.fullName = splitEscaped(decodeValue(p), QChar()).join(QString());
        } else if (p.name == "N") {
            // Family;Given;Additional;Prefix;Suffix
            const QStringList parts = splitEscaped(decodeValue(p), QLatin1Char(';'));
            structuredName = (parts.value(1) + QLatin1Char(' ') + parts.value(0)).trimmed();
        } else if (p.name == "NICKNAME") {
            for (const QString &nick : splitEscaped(decodeValue(p), QLatin1Char(','))) {
                if (!nick.isEmpty())
                    card.nicknames.append(nick);
            }
        } else if (p.name == "EMAIL") {
            QString address = decodeValue(p).trimmed();
            if (address.startsWith(QStringLiteral("mailto:"), Qt::CaseInsensitive))
                address = address.mid(7);
            if (address.isEmpty())
                continue;
            bool preferred = false;
            for (const QByteArray &param : p.params)
                preferred = preferred || param.contains("PREF");
            if (preferred && !havePreferred) {
                card.preferredEmail = int(card.emails.size());
                havePreferred = true;
            }
            card.emails.append(address);
        }
    }
    return out;
}

} // namespace platform::vcard
