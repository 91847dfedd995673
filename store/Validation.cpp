#include "store/Validation.h"

#include "core/AsciiCase.h"
#include "core/RuleList.h"
#include "core/Settings.h"

namespace {
constexpr int MinimumLength = 9;

bool refusedCharacter(QChar c)
{
    // A control character (C0, DEL, C1) cannot be delivered to and breaks
    // every line-based export.
    if (c.category() == QChar::Other_Control)
        return true;
    switch (c.unicode()) {
    case ' ':
    case '!':
    case ',':
    case '/':
    case ':':
    case ';':
    case '\\':
        return true;
    default:
        return false;
    }
}

// Characters, not UTF-16 units: a surrogate pair is one character.
qsizetype characterCount(const QString &text)
{
    qsizetype n = text.size();
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text.at(i).isLowSurrogate() && text.at(i - 1).isHighSurrogate())
            --n;
    }
    return n;
}
} // namespace

bool validemailaddress(const QString &address, const Settings &settings, const RuleLists &lists)
{
    if (!settings.Except)
        return true;
    const QString a = lowerAZ(address);
    if (characterCount(a) < MinimumLength)
        return false;
    if (a.back().isDigit() && a.back().unicode() < 0x80)
        return false;
    if (a.back() == QLatin1Char('.'))
        return false;
    for (QChar c : a) {
        if (refusedCharacter(c))
            return false;
    }
    const qsizetype at = a.indexOf(QLatin1Char('@'));
    if (at <= 0 || a.indexOf(QLatin1Char('@'), at + 1) >= 0)
        return false;
    if (a.indexOf(QLatin1Char('.'), at + 1) < 0)
        return false;
    for (const QString &piece : lists.except.items()) {
        if (!piece.isEmpty() && a.contains(piece, Qt::CaseSensitive))
            return false;
    }
    // "mial" is a typing slip only after the first four characters.
    const qsizetype mial = a.indexOf(QStringLiteral("mial"));
    if (mial >= 4)
        return false;
    return true;
}

bool emptyLocalPart(const QString &address)
{
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    if (at < 0)
        return false;
    for (qsizetype i = 0; i < at; ++i) {
        const QChar c = address.at(i);
        if (c.unicode() > 0x20 && c.category() != QChar::Other_Control)
            return false;
    }
    return true;
}
