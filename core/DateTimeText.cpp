#include "core/DateTimeText.h"

#include <QDateTime>
#include <QLocale>

namespace {

// Qt's long time formats end in the time zone, which the Windows long time
// format never shows; it would also eat into 80-character comments.
QString withoutTimeZone(const QString &format)
{
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    return out.trimmed().replace(QLatin1String("  "), QLatin1String(" "));
}

} // namespace

QString getdatetimestring(const QDateTime &now)
{
    if (!now.isValid())
        return QString();
    const QLocale locale = QLocale::system();
    const QString date = locale.toString(now.date(), QLocale::ShortFormat);
    if (now.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ')
           + locale.toString(now.time(), withoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
}

QString getdatetimestring()
{
    return getdatetimestring(QDateTime::currentDateTime());
}
