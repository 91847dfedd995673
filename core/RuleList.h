#pragma once
// One word or address list of the user's rules. A sorted list keeps its
// entries in case-insensitive order without case-insensitive duplicates;
// an unsorted one keeps the order it was given.
#include <QString>
#include <QStringList>

class RuleList
{
public:
    explicit RuleList(bool sorted = true, QStringList items = {});

    bool isSorted() const { return m_sorted; }
    const QStringList &items() const { return m_items; }
    int size() const { return int(m_items.size()); }
    bool isEmpty() const { return m_items.isEmpty(); }

    void setItems(const QStringList &items);
    void add(const QString &item);
    bool removeAt(int index);
    // Whole entry, ignoring letter case.
    bool contains(const QString &item) const;

private:
    int lowerBound(const QString &item) const;

    bool m_sorted;
    QStringList m_items;
};

// The six lists, with their built-in content.
struct RuleLists
{
    RuleLists();

    RuleList except;  // except.txt: pieces that make an address invalid
    RuleList remstr;  // remstr.txt: unsubscribe synonyms
    RuleList addstr;  // addstr.txt: subscribe synonyms
    RuleList cats;    // cats.txt: permitted categories (file order)
    RuleList never;   // never.txt: blocked addresses
    RuleList failed;  // failed.txt: delivery-failure subject phrases

    struct FileBinding
    {
        const char *fileName;
        RuleList RuleLists::*list;
    };
    // In the order the files are read and written.
    static const FileBinding files[6];
};
