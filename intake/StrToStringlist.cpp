#include "intake/StrToStringlist.h"

#include "core/AsciiCase.h"

namespace {
// Blanks and control characters, as the tokens are trimmed of them.
bool isTrimmed(QChar c)
{
    return c.unicode() <= 0x20;
}

QString trimmedToken(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isTrimmed(text.at(begin)))
        ++begin;
    while (end > begin && isTrimmed(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin).toString();
}
} // namespace

void StrToStringlist(QStringList &list, const QString &text, const QString &delimiter)
{
    list.clear();
    if (text.isEmpty() || text == delimiter || delimiter.isEmpty())
        return;
    // One pass over the text; equivalent to repeatedly cutting at the first delimiter.
    qsizetype from = 0;
    while (from < text.size()) {
        qsizetype at = text.indexOf(delimiter, from);
        if (at < 0)
            at = text.size();
        const QString token = trimmedToken(QStringView(text).mid(from, at - from));
        if (!token.isEmpty()) {
            const QString upper = upperAZ(token);
            if (upper != QLatin1String("ME") && upper != QLatin1String("RE:"))
                list.append(token);
        }
        from = at + delimiter.size();
    }
}
