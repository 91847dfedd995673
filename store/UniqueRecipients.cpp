#include "store/UniqueRecipients.h"

#include "core/AsciiCase.h"
#include "store/MLTable.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <numeric>
#include <vector>
#include <utility>

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

    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // The C locale's sort keys keep letter case whatever the collator is told.
    const bool fold = collator.locale().language() == QLocale::C;
    std::vector<QCollatorSortKey> keys;
    keys.reserve(size_t(read.size()));
    for (const QString &address : std::as_const(read))
        keys.push_back(collator.sortKey(fold ? address.toCaseFolded() : address));
    std::vector<int> order(size_t(read.size()));
    std::iota(order.begin(), order.end(), 0);
    // Stable, so of entries the locale holds equal the first met leads.
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; });

    QStringList unique;
    unique.reserve(read.size());
    int last = -1;
    for (int i : order) {
        if (last >= 0 && keys[size_t(last)].compare(keys[size_t(i)]) == 0)
            continue;
        unique.append(read.at(i));
        last = i;
    }
    return unique;
}
