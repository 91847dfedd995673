#include "platform/mapi/MapiText.h"

#include "platform/text/LegacyText.h"

namespace mapistandin {

QString textFromBytes(const QByteArray &bytes)
{
    return platform::textFromBytes(bytes);
}

QString headerText(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || (c.unicode() >= 0x80 && c.unicode() < 0xA0))
            c = QLatin1Char(' ');
    }
    return out;
}

QString bodyText(const QString &text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

} // namespace mapistandin
