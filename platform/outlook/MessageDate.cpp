#include "platform/outlook/MessageText.h"

#include <QDate>

namespace platform::outlook::mailtext {

namespace {

bool readNumber(QByteArrayView s, qsizetype at, int digits, int *value)
{
    if (at + digits > s.size())
        return false;
    int n = 0;
    for (qsizetype i = at; i < at + digits; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        n = n * 10 + (s[i] - '0');
    }
    *value = n;
    return true;
}

int indexOfName(QByteArrayView s, qsizetype at, const char *const *names, int count)
{
    if (at + 3 > s.size())
        return -1;
    for (int i = 0; i < count; ++i) {
        if (s.sliced(at, 3) == QByteArrayView(names[i], 3))
            return i;
    }
    return -1;
}

constexpr const char *Months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char *Days[7] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

} // namespace

// Strictly "[Ddd, ]D[D] Mon YYYY HH:MM[:SS] +HHMM" and nothing more; every
// other form is left to the general parser, so that both give the same.
std::optional<qint64> plainDateSeconds(QByteArrayView s)
{
    s = s.trimmed();
    qsizetype at = 0;
    if (s.size() > 4 && s[3] == ',') {
        if (indexOfName(s, 0, Days, 7) < 0 || s[4] != ' ')
            return std::nullopt;
        at = 5;
    }
    int day = 0, year = 0, hour = 0, minute = 0, second = 0, zoneHours = 0, zoneMinutes = 0;
    const int dayDigits = at + 1 < s.size() && s[at + 1] == ' ' ? 1 : 2;
    if (!readNumber(s, at, dayDigits, &day))
        return std::nullopt;
    at += dayDigits;
    if (at >= s.size() || s[at] != ' ')
        return std::nullopt;
    const int month = indexOfName(s, at + 1, Months, 12) + 1;
    at += 4;
    if (month == 0 || at >= s.size() || s[at] != ' ' || !readNumber(s, at + 1, 4, &year))
        return std::nullopt;
    at += 5;
    if (at + 6 > s.size() || s[at] != ' ' || !readNumber(s, at + 1, 2, &hour) || s[at + 3] != ':'
        || !readNumber(s, at + 4, 2, &minute))
        return std::nullopt;
    at += 6;
    if (at < s.size() && s[at] == ':') {
        if (!readNumber(s, at + 1, 2, &second))
            return std::nullopt;
        at += 3;
    }
    if (at + 6 != s.size() || s[at] != ' ' || (s[at + 1] != '+' && s[at + 1] != '-')
        || !readNumber(s, at + 2, 2, &zoneHours) || !readNumber(s, at + 4, 2, &zoneMinutes))
        return std::nullopt;
    // The general parser refuses years before 1970 and reads odd zones its own way.
    const QDate date(year, month, day);
    if (year < 1970 || !date.isValid() || hour > 23 || minute > 59 || second > 59 || zoneHours > 23 || zoneMinutes > 59)
        return std::nullopt;
    const qint64 zone = (s[at + 1] == '-' ? -1 : 1) * (zoneHours * 3600 + zoneMinutes * 60);
    constexpr qint64 EpochJulianDay = 2440588;
    return (date.toJulianDay() - EpochJulianDay) * 86400 + hour * 3600 + minute * 60 + second - zone;
}

} // namespace platform::outlook::mailtext
