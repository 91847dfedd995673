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
    ClockFormat time{locale, withoutTimeZone(locale.timeFormat(QLocale::LongFormat))};
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
    return date + QLatin1Char(' ') + f.time.text(now.time());
}

QString getdatetimestring()
{
    return getdatetimestring(QDateTime::currentDateTime());
}

ClockFormat::ClockFormat(const QLocale &locale, const QString &format)
    : m_locale(locale)
    , m_format(format)
{
    if (m_locale.zeroDigit() != QLatin1String("0"))
        return;
    std::vector<Part> parts;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        const char field = c == QLatin1Char('H') ? 'h' : char(c.toLatin1());
        if (field == 'h' || field == 'm' || field == 's') {
            const int width = i + 1 < format.size() && format.at(i + 1) == c ? 2 : 1;
            parts.push_back({field, width, {}});
            i += width;
            continue;
        }
        // Twelve-hour marks, fractions, quoting and anything else: QLocale's.
        if (c.isLetter() || c == QLatin1Char('\''))
            return;
        if (parts.empty() || parts.back().field != 0)
            parts.push_back({0, 0, {}});
        parts.back().literal += c;
        ++i;
    }
    m_parts = std::move(parts);
}

QString ClockFormat::text(const QTime &time) const
{
    if (m_parts.empty() || !time.isValid())
        return m_locale.toString(time, m_format);
    QString out;
    out.reserve(m_format.size() + 4);
    for (const Part &part : m_parts) {
        if (part.field == 0) {
            out += part.literal;
            continue;
        }
        const int value = part.field == 'h' ? time.hour() : part.field == 'm' ? time.minute() : time.second();
        if (part.width == 2 || value >= 10)
            out += QLatin1Char(char('0' + value / 10));
        out += QLatin1Char(char('0' + value % 10));
    }
    return out;
}
