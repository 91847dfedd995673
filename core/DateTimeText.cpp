#include "core/DateTimeText.h"

#include <QDateTime>
#include <QLocale>

#include <limits>

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

// The check dates every message: the locale's formats are looked up once,
// as Qt reads the system locale once on this platform anyway.
struct Formats
{
    QLocale locale = QLocale::system();
    QString date = locale.dateFormat(QLocale::ShortFormat);
    QString time = withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
};

const Formats &formats()
{
    static const Formats f;
    return f;
}

} // namespace

QString getdatetimestring(const QDateTime &now)
{
    if (!now.isValid())
        return QString();
    const Formats &f = formats();
    // A check dates message after message, most of them of the same few days.
    thread_local qint64 lastDay = std::numeric_limits<qint64>::min();
    thread_local QString lastDate;
    const QDate day = now.date();
    if (day.toJulianDay() != lastDay) {
        lastDate = f.locale.toString(day, f.date);
        lastDay = day.toJulianDay();
    }
    const QString &date = lastDate;
    if (now.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + f.locale.toString(now.time(), f.time);
}

QString getdatetimestring()
{
    return getdatetimestring(QDateTime::currentDateTime());
}
