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
    // Each phrase at least two characters long; compared exactly, so give
    // them in the letter case of the text they are looked for in.
    PhraseSet(std::initializer_list<QStringView> phrases);
    // A copy of a list of any phrases; an empty one is never found.
    explicit PhraseSet(const QStringList &phrases);

    bool foundIn(QStringView text) const;

private:
    void add(QStringView phrase);
    void sort();

    // Six low bits of each character: the table stays small enough to sit
    // in the cache beside the rest of the check's work.
    static quint16 pairKey(QChar first, QChar second)
    {
        return quint16(((first.unicode() & 0x3f) << 6) | (second.unicode() & 0x3f));
    }

    // By the two characters each phrase opens with: a text position whose
    // pair is not in m_openings opens none of them.
    std::bitset<4096> m_openings;
    QList<std::pair<quint16, QStringView>> m_phrases; // sorted by key
    QString m_singles; // phrases of one character
    QStringList m_owned; // what the views of a copied list point into
};

// QString::toLower, without its table look-ups for text of ASCII alone.
QString lowerText(const QString &text);
