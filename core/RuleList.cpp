#include "core/RuleList.h"

#include "core/AsciiCase.h"

#include <algorithm>

RuleList::RuleList(bool sorted, QStringList items)
    : m_sorted(sorted)
{
    setItems(items);
}

void RuleList::setItems(const QStringList &items)
{
    m_items.clear();
    if (!m_sorted) {
        m_items = items;
        return;
    }
    m_items.reserve(items.size());
    for (const QString &item : items)
        add(item);
}

int RuleList::lowerBound(const QString &item) const
{
    auto it = std::lower_bound(m_items.cbegin(), m_items.cend(), item, [](const QString &a, const QString &b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    return int(it - m_items.cbegin());
}

void RuleList::add(const QString &item)
{
    if (!m_sorted) {
        m_items.append(item);
        return;
    }
    const int at = lowerBound(item);
    if (at < m_items.size() && QString::compare(m_items.at(at), item, Qt::CaseInsensitive) == 0)
        return;
    m_items.insert(at, item);
}

bool RuleList::removeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return false;
    m_items.removeAt(index);
    return true;
}

bool RuleList::contains(const QString &item) const
{
    if (m_sorted) {
        const int at = lowerBound(item);
        return at < m_items.size() && QString::compare(m_items.at(at), item, Qt::CaseInsensitive) == 0;
    }
    return m_items.contains(item, Qt::CaseInsensitive);
}

RuleLists::RuleLists()
    : except(true, {QStringLiteral(".."), QStringLiteral(".@"), QStringLiteral("@."), QStringLiteral("dasd"),
                    QStringLiteral("sdf")})
    , remstr(true, {QStringLiteral("REMOVE"), QStringLiteral("UNJOIN"), QStringLiteral("UNSUBSCRIBE")})
    , addstr(true, {QStringLiteral("ADD"), QStringLiteral("JOIN"), QStringLiteral("SUBSCRIBE")})
    , cats(false)
    , never(true, {QStringLiteral("someone@example.com")})
    , failed(true,
             {QStringLiteral("Delivery failure"), QStringLiteral("Delivery has failed"),
              QStringLiteral("Error delivering"), QStringLiteral("Failed mail"), QStringLiteral("failure delivery"),
              QStringLiteral("failure notice"), QStringLiteral("Mail delivery failed"), QStringLiteral("mail failed"),
              QStringLiteral("Mail System Error"), QStringLiteral("no user"), QStringLiteral("Nondeliverable mail"),
              QStringLiteral("Returned Mail"), QStringLiteral("Undeliverable"), QStringLiteral("Undelivered"),
              QStringLiteral("Unzustellbar")})
{
}

const RuleLists::FileBinding RuleLists::files[6] = {
    {"except.txt", &RuleLists::except}, {"remstr.txt", &RuleLists::remstr}, {"addstr.txt", &RuleLists::addstr},
    {"cats.txt", &RuleLists::cats},     {"never.txt", &RuleLists::never},   {"failed.txt", &RuleLists::failed},
};

EditRules RuleLists::editRules(RuleList RuleLists::*list)
{
    // Commands and subjects are matched in capitals, addresses and
    // categories in small letters; a category is one word.
    if (list == &RuleLists::addstr || list == &RuleLists::remstr)
        return {.upper = true};
    if (list == &RuleLists::cats)
        return {.lower = true, .replaceBlanks = true};
    if (list == &RuleLists::except || list == &RuleLists::never)
        return {.lower = true};
    return {};
}

QStringList editedEntries(const QStringList &lines, EditRules rules, const std::function<bool()> &keepWithUnderscores)
{
    QStringList kept;
    kept.reserve(lines.size());
    for (QString line : lines) {
        // A blank entry would match every address or subject; the loader drops them too.
        if (line.trimmed().isEmpty())
            continue;
        if (rules.replaceBlanks && line.contains(QLatin1Char(' '))) {
            if (!keepWithUnderscores())
                continue;
            line.replace(QLatin1Char(' '), QLatin1Char('_'));
        }
        if (rules.lower)
            line = lowerAZ(line);
        if (rules.upper)
            line = upperAZ(line);
        kept.append(line);
    }
    return kept;
}
