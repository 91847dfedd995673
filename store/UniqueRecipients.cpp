#include "store/UniqueRecipients.h"

#include "core/AsciiCase.h"
#include "store/MLTable.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>
#include <utility>
#include <vector>

namespace {

bool strippable(QChar c)
{
    const char16_t u = c.unicode();
    return u <= 0x20 || (u >= 0x7F && u <= 0x9F) || c.isSpace() || c.category() == QChar::Other_Control;
}

char foldAZ(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + 0x20) : c;
}

bool hasFoldedPrefix(QByteArrayView text, const QByteArray &foldedPrefix)
{
    if (text.size() < foldedPrefix.size())
        return false;
    for (qsizetype i = 0; i < foldedPrefix.size(); ++i) {
        if (foldAZ(text[i]) != foldedPrefix[i])
            return false;
    }
    return true;
}

// Indices of the addresses in the collator's order, the first met of each
// set of equals only, as sorting by the collator's sort keys gives them.
// A key object per address costs more than the address itself, so none is
// held for the whole list.
class UniqueOrder
{
public:
    UniqueOrder(const QStringList &addresses, const QCollator &collator)
        : m_addresses(addresses)
        , m_collator(collator)
    {
    }

    std::vector<int> operator()()
    {
        // The C locale's sort keys keep letter case whatever the collator is told.
        return m_collator.locale().language() == QLocale::C ? byFoldedText() : byMergedRuns();
    }

private:
    // The C locale's keys are the UTF-8 text compared as C strings: one
    // block of folded text holds them all.
    std::vector<int> byFoldedText()
    {
        std::vector<const char *> keys;
        keys.reserve(size_t(m_addresses.size()));
        for (const QString &address : m_addresses)
            keys.push_back(keep(address.toCaseFolded().toUtf8()));
        std::vector<int> order(keys.size());
        std::iota(order.begin(), order.end(), 0);
        // Stable, so of entries held equal the first met leads.
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return std::strcmp(keys[size_t(a)], keys[size_t(b)]) < 0; });
        const auto end = std::unique(order.begin(), order.end(),
                                     [&](int a, int b) { return std::strcmp(keys[size_t(a)], keys[size_t(b)]) == 0; });
        order.erase(end, order.end());
        return order;
    }

    const char *keep(const QByteArray &key)
    {
        const size_t need = size_t(key.size()) + 1;
        if (m_blocks.empty() || m_used + need > m_blockSize) {
            m_blockSize = std::max(need, BlockBytes);
            m_blocks.push_back(std::make_unique<char[]>(m_blockSize));
            m_used = 0;
        }
        char *at = m_blocks.back().get() + m_used;
        std::memcpy(at, key.constData(), need);
        m_used += need;
        return at;
    }

    // Runs of the list sorted by keys made for one run at a time, then
    // merged by the collator's comparison, which answers as its keys do.
    std::vector<int> byMergedRuns()
    {
        const int total = int(m_addresses.size());
        const QCollatorSortKey emptyKey = m_collator.sortKey(QString());
        m_blank.assign(size_t(total), false);
        std::vector<int> order;
        order.reserve(size_t(total));
        std::vector<size_t> runEnds;
        std::vector<QCollatorSortKey> keys;
        std::vector<int> run;
        for (int begin = 0; begin < total; begin += RunLength) {
            const int length = std::min(RunLength, total - begin);
            keys.clear();
            for (int i = 0; i < length; ++i) {
                keys.push_back(m_collator.sortKey(m_addresses.at(begin + i)));
                m_blank[size_t(begin + i)] = keys.back().compare(emptyKey) == 0;
            }
            run.resize(size_t(length));
            std::iota(run.begin(), run.end(), 0);
            std::stable_sort(run.begin(), run.end(),
                             [&](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; });
            for (size_t i = 0; i < run.size(); ++i) {
                if (i == 0 || keys[size_t(run[i - 1])].compare(keys[size_t(run[i])]) != 0)
                    order.push_back(begin + run[i]);
            }
            runEnds.push_back(order.size());
        }
        keys = {};
        run = {};
        std::vector<int> merged(order.size());
        while (runEnds.size() > 1) {
            std::vector<size_t> ends;
            size_t out = 0;
            for (size_t r = 0; r < runEnds.size(); r += 2) {
                const size_t begin = r == 0 ? 0 : runEnds[r - 1];
                const size_t middle = runEnds[r];
                const size_t end = r + 1 < runEnds.size() ? runEnds[r + 1] : middle;
                out = merge(order, begin, middle, end, merged, out);
                ends.push_back(out);
            }
            merged.resize(out);
            order.swap(merged);
            merged.resize(order.size());
            runEnds.swap(ends);
        }
        return order;
    }

    // Two neighbouring runs, each without equals; of an equal pair the left
    // run's entry, met first, stays.
    size_t merge(const std::vector<int> &from, size_t i, size_t middle, size_t end, std::vector<int> &to, size_t out)
    {
        size_t j = middle;
        while (i < middle && j < end) {
            const int c = compare(from[i], from[j]);
            if (c <= 0) {
                to[out++] = from[i++];
                j += c == 0;
            } else {
                to[out++] = from[j++];
            }
        }
        while (i < middle)
            to[out++] = from[i++];
        while (j < end)
            to[out++] = from[j++];
        return out;
    }

    int compare(int a, int b) const
    {
        // The collator puts an empty text before one it ignores entirely;
        // their keys are the same.
        const bool blankA = m_blank[size_t(a)];
        const bool blankB = m_blank[size_t(b)];
        if (blankA || blankB)
            return int(blankB) - int(blankA);
        return m_collator.compare(m_addresses.at(a), m_addresses.at(b));
    }

    static constexpr size_t BlockBytes = size_t(1) << 20;
    // Keys for this many addresses are held at a time.
    static constexpr int RunLength = 1 << 17;

    const QStringList &m_addresses;
    const QCollator &m_collator;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    size_t m_blockSize = 0;
    size_t m_used = 0;
    std::vector<bool> m_blank;
};

QCollator listCollator()
{
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

// One address against another as UniqueOrder sorts them.
class AddressOrder
{
public:
    AddressOrder()
        : m_collator(listCollator())
        , m_folded(m_collator.locale().language() == QLocale::C)
        , m_emptyKey(m_collator.sortKey(QString()))
    {
    }

    bool less(const QString &a, const QString &b) const
    {
        if (m_folded)
            return std::strcmp(a.toCaseFolded().toUtf8().constData(), b.toCaseFolded().toUtf8().constData()) < 0;
        const bool blankA = blank(a);
        const bool blankB = blank(b);
        if (blankA || blankB)
            return blankA && !blankB;
        return m_collator.compare(a, b) < 0;
    }

private:
    bool blank(const QString &a) const { return m_collator.sortKey(a).compare(m_emptyKey) == 0; }

    QCollator m_collator;
    bool m_folded;
    QCollatorSortKey m_emptyKey;
};

} // namespace

QString strippedAddress(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && strippable(text[begin]))
        ++begin;
    while (end > begin && strippable(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin).toString();
}

QStringList uniqueRecipients(const MLTable &table, const QString &categoryPrefix, const RecipientProgress &progress)
{
    const QByteArray prefix = lowerAZ(categoryPrefix).toUtf8();
    QStringList read;
    {
        MLTable::Scan scan(table);
        read.reserve(qsizetype(prefix.isEmpty() ? scan.total() : 0));
        while (scan.next()) {
            if (!prefix.isEmpty() && !hasFoldedPrefix(scan.category(), prefix))
                continue;
            QString address = strippedAddress(QString::fromUtf8(scan.item()));
            if (progress)
                progress(int(read.size()), address);
            read.append(std::move(address));
        }
    }

    const QCollator collator = listCollator();
    const std::vector<int> order = UniqueOrder(read, collator)();
    QStringList unique;
    unique.reserve(qsizetype(order.size()));
    for (int i : order)
        unique.append(read.at(i));
    return unique;
}

QStringList recipientsAfter(const QStringList &unique, const QString &lastPlaced)
{
    const AddressOrder order;
    const auto after = std::upper_bound(unique.begin(), unique.end(), lastPlaced,
                                        [&](const QString &a, const QString &b) { return order.less(a, b); });
    return QStringList(after, unique.end());
}
