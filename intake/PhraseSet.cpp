#include "intake/PhraseSet.h"

#include <algorithm>

PhraseSet::PhraseSet(std::initializer_list<QStringView> phrases)
{
    for (const QStringView phrase : phrases)
        add(phrase);
    sort();
}

PhraseSet::PhraseSet(const QStringList &phrases)
    : m_owned(phrases)
{
    for (const QString &phrase : std::as_const(m_owned))
        add(phrase);
    sort();
}

void PhraseSet::add(QStringView phrase)
{
    if (phrase.size() >= 3) {
        const quint16 key = openingKey(phrase.data());
        m_openings.set(key);
        m_phrases.append({key, phrase});
    } else if (!phrase.isEmpty()) {
        m_short.append(phrase);
    }
}

void PhraseSet::sort()
{
    std::stable_sort(m_phrases.begin(), m_phrases.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
}

bool PhraseSet::foundIn(QStringView text) const
{
    for (const QStringView phrase : m_short) {
        if (text.contains(phrase))
            return true;
    }
    const QChar *const chars = text.data();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i + 2 < size; ++i) {
        const quint16 key = openingKey(chars + i);
        if (!m_openings.test(key))
            continue;
        auto it = std::lower_bound(m_phrases.cbegin(), m_phrases.cend(), key,
                                   [](const auto &entry, quint16 k) { return entry.first < k; });
        for (; it != m_phrases.cend() && it->first == key; ++it) {
            const QStringView phrase = it->second;
            if (phrase.size() <= size - i && std::equal(phrase.cbegin(), phrase.cend(), chars + i))
                return true;
        }
    }
    return false;
}

QString lowerText(const QString &text)
{
    bool upper = false;
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return text.toLower();
        upper = upper || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
    }
    if (!upper)
        return text;
    QString lower = text;
    for (QChar &c : lower) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + 0x20);
    }
    return lower;
}
