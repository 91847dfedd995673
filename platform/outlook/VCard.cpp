#include "platform/outlook/VCard.h"

#include <QStringDecoder>

namespace platform::outlook {

namespace {

QString unescape(QStringView value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar n = value.at(++i);
            out += (n == QLatin1Char('n') || n == QLatin1Char('N')) ? QChar(QLatin1Char('\n')) : n;
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray decodeQuotedPrintable(const QByteArray &in)
{
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in.at(i) == '=' && i + 2 < in.size()) {
            bool ok = false;
            const int v = in.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                out.append(char(v));
                i += 2;
                continue;
            }
        }
        out.append(in.at(i));
    }
    return out;
}

// Joins folded lines: a line break followed by a blank or tab continues the
// line; vCard 2.1 quoted-printable values continue after a trailing '='.
QList<QByteArray> unfold(const QByteArray &text)
{
    QByteArray normal = text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text;
    normal.replace("\r\n", "\n");
    normal.replace('\r', '\n');
    QList<QByteArray> lines;
    for (const QByteArray &raw : normal.split('\n')) {
        if (!lines.isEmpty() && !raw.isEmpty() && (raw.at(0) == ' ' || raw.at(0) == '\t')) {
            lines.last().append(raw.mid(1));
        } else if (!lines.isEmpty() && lines.last().endsWith('=') && lines.last().toUpper().contains("QUOTED-PRINTABLE")) {
            lines.last().chop(1);
            lines.last().append(raw);
        } else {
            lines.append(raw);
        }
    }
    return lines;
}

} // namespace

QList<VCardContact> readVCards(const QByteArray &text)
{
    QList<VCardContact> contacts;
    bool inside = false;
    for (const QByteArray &line : unfold(text)) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray head = line.left(colon).toUpper();
        QByteArray rawValue = line.mid(colon + 1);
        // A group prefix ("item1.EMAIL") does not change the property.
        QByteArray name = head.split(';').first();
        if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0)
            name = name.mid(dot + 1);
        if (name == "BEGIN" && rawValue.trimmed().toUpper() == "VCARD") {
            contacts.append(VCardContact{});
            inside = true;
            continue;
        }
        if (name == "END") {
            inside = false;
            continue;
        }
        if (!inside)
            continue;
        if (head.contains("QUOTED-PRINTABLE"))
            rawValue = decodeQuotedPrintable(rawValue);
        QStringDecoder utf8(QStringDecoder::Utf8);
        QString value = utf8(rawValue);
        if (utf8.hasError())
            value = QString::fromLatin1(rawValue);
        value = value.trimmed();
        VCardContact &c = contacts.last();
        if (name == "FN")
            c.fullName = unescape(value);
        else if (name == "NICKNAME")
            c.nickname = unescape(value).split(QLatin1Char(',')).first().trimmed();
        else if (name == "EMAIL" && !value.isEmpty())
            c.emails << (value.startsWith(QStringLiteral("mailto:"), Qt::CaseInsensitive) ? value.mid(7) : value);
    }
    return contacts;
}

} // namespace platform::outlook
