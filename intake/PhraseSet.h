#pragma once
// Whether any of a fixed set of phrases stands in a text, found in one pass
// over the text rather than one search per phrase: the recogniser asks this
// of every line of a notice against dozens of phrases.
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <bitset>
#include <initializer_list>
#include <utility>

class PhraseSet
{
public:
    // Compared exactly: give the phrases in the letter case of the text
    // they are looked for in.
    PhraseSet(std::initializer_list<QStringView> phrases);
    // A copy of a list of any phrases; an empty one is never found.
    explicit PhraseSet(const QStringList &phrases);

    bool foundIn(QStringView text) const;

private:
    void add(QStringView phrase);
    void sort();

    // The three characters a phrase opens with, hashed into the table: a
    // text position whose hash is not in m_openings opens none of them.
    // Small enough to stay in the cache beside the rest of the check's work.
    static quint16 openingKey(const QChar *c)
    {
        return quint16((c[0].unicode() * 961u + c[1].unicode() * 31u + c[2].unicode()) & 4095u);
    }

    std::bitset<4096> m_openings;
    QList<std::pair<quint16, QStringView>> m_phrases; // sorted by key
    QList<QStringView> m_short; // phrases of one or two characters
    QStringList m_owned; // what the views of a copied list point into
};

// QString::toLower, without its table look-ups for text of ASCII alone.
QString lowerText(const QString &text);
