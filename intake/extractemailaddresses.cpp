#include "intake/extractemailaddresses.h"

namespace {
constexpr qsizetype LongestAddress = 69;

bool isAddressDelimiter(QChar c)
{
    switch (c.unicode()) {
    case ' ':
    case '!':
    case '"':
    case '\'':
    case ',':
    case ':':
    case ';':
    case '<':
    case '=':
    case '>':
    case '[':
    case ']':
        return true;
    default:
        return false;
    }
}
} // namespace

void extractfromline(const QString &line, QStringList &list, const AddressTest &valid)
{
    if (line.isEmpty() || !line.contains(QLatin1Char('@')))
        return;
    // The unread text is line[from..]; working on offsets keeps this linear.
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = line.indexOf(QLatin1Char('@'), from);
        if (at < 0 || at == from)
            return;
        qsizetype start = at;
        while (start > from && !isAddressDelimiter(line.at(start - 1)))
            --start;
        qsizetype end = at + 1;
        while (end < line.size() && !isAddressDelimiter(line.at(end)))
            ++end;
        const qsizetype length = end - start;
        if (length > 0 && length <= LongestAddress) {
            const QString candidate = line.mid(start, length);
            if (valid(candidate))
                list.append(candidate);
        }
        if (end >= line.size())
            return;
        from = end;
    }
}

void extractemailaddresses(const QStringList &lines, QStringList &list, const AddressTest &valid)
{
    list.clear();
    for (const QString &line : lines)
        extractfromline(line, list, valid);
}
