#pragma once
// The date-and-time text put into comments.
#include <QLocale>
#include <QString>

#include <vector>

class QDateTime;
class QTime;

// The current local date and time as the user's short date and long time;
// the time is left out at exactly midnight.
QString getdatetimestring();
// The same for a given moment, so tests need not depend on the clock.
QString getdatetimestring(const QDateTime &now);

// A locale's time format read once, for text made message after message.
// Gives what QLocale::toString gives; formats of hours, minutes, seconds
// and punctuation in ASCII digits are made directly, all others by QLocale.
class ClockFormat
{
public:
    ClockFormat(const QLocale &locale, const QString &format);
    QString text(const QTime &time) const;

private:
    struct Part
    {
        char field; // 'h', 'm' or 's'; 0 for literal text
        int width;
        QString literal;
    };
    QLocale m_locale;
    QString m_format;
    std::vector<Part> m_parts; // empty: QLocale formats
};
