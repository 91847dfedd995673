#pragma once
// One word or address list of the user's rules. A sorted list keeps its
// entries in case-insensitive order without case-insensitive duplicates;
// an unsorted one keeps the order it was given.
#include <QString>
#include <QStringList>

#include <functional>

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

// How an edited text becomes a list's entries.
struct EditRules
{
    bool lower = false;
    bool upper = false;
    // A blank is not allowed inside an entry: it becomes "_".
    bool replaceBlanks = false;
};

// The entries an edited text gives, in the order typed: blank lines are
// skipped; with replaceBlanks a line holding a blank is kept, blanks turned
// to "_", only when keepWithUnderscores() says so; then lower or upper case
// (letters a to z only).
QStringList editedEntries(const QStringList &lines, EditRules rules, const std::function<bool()> &keepWithUnderscores);

// The six lists, with their built-in content.
struct RuleLists
{
    RuleLists();

    RuleList except; // except.txt: pieces that make an address invalid
    RuleList remstr; // remstr.txt: unsubscribe synonyms
    RuleList addstr; // addstr.txt: subscribe synonyms
    RuleList cats; // cats.txt: permitted categories (file order)
    RuleList never; // never.txt: blocked addresses
    RuleList failed; // failed.txt: delivery-failure subject phrases

    struct FileBinding
    {
        const char *fileName;
        RuleList RuleLists::*list;
    };
    // In the order the files are read and written.
    static const FileBinding files[6];

    static EditRules editRules(RuleList RuleLists::*list);
};
