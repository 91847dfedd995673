#pragma once
// Where the program upper-cases words to compare them, only a to z change,
// as the table's case-insensitive comparison does; ß or é stay as they are.
#include <QString>

inline QString upperAZ(QString text)
{
    for (QChar &c : text) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 0x20);
    }
    return text;
}

inline QString lowerAZ(QString text)
{
    for (QChar &c : text) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + 0x20);
    }
    return text;
}

inline bool sameTextAZ(const QString &a, const QString &b)
{
    return a.size() == b.size() && upperAZ(a) == upperAZ(b);
}
