#include "intake/HeaderFields.h"

#include "core/AsciiCase.h"

HeaderFields::HeaderFields(const QString &block)
    : m_block(block)
{
    const QStringView text(m_block);
    // Room for a usual header; kept under the size malloc serves from its
    // per-thread cache, which a larger block misses on every notice.
    if (!text.isEmpty())
        m_fields.reserve(16);
    for (qsizetype start = 0; start <= text.size();) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        QStringView line = text.sliced(start, end - start);
        start = end + 1;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty())
            break;
        if ((line.front() == QLatin1Char(' ') || line.front() == QLatin1Char('\t'))) {
            if (!m_fields.isEmpty()) {
                Field &last = m_fields.last();
                if (last.folded < 0) {
                    last.folded = m_folded.size();
                    m_folded << last.line.toString();
                }
                m_folded[last.folded] += QLatin1Char(' ');
                m_folded[last.folded] += line.trimmed();
            }
            continue;
        }
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            continue;
        m_fields.append({line.first(colon).trimmed(), line.sliced(colon + 1).trimmed()});
    }
}

// As lower-casing only A to Z and comparing would.
bool HeaderFields::named(const Field &field, QLatin1StringView lower)
{
    if (field.name.size() != lower.size())
        return false;
    for (qsizetype i = 0; i < lower.size(); ++i) {
        char16_t c = field.name.at(i).unicode();
        if (c >= u'A' && c <= u'Z')
            c += 0x20;
        if (c != lower.at(i).unicode())
            return false;
    }
    return true;
}

QString HeaderFields::valueOf(const Field &field) const
{
    return field.folded >= 0 ? m_folded.at(field.folded) : field.line.toString();
}

bool HeaderFields::has(QLatin1StringView name) const
{
    for (const Field &field : m_fields) {
        if (named(field, name))
            return true;
    }
    return false;
}

QString HeaderFields::value(QLatin1StringView name) const
{
    for (const Field &field : m_fields) {
        if (named(field, name))
            return valueOf(field);
    }
    return {};
}

QStringList HeaderFields::values(QLatin1StringView name) const
{
    QStringList found;
    for (const Field &field : m_fields) {
        if (named(field, name))
            found << valueOf(field);
    }
    return found;
}

namespace {

// What ends an address in a field: blanks, brackets, quotes and the
// separators of a list of addresses.
bool endsAddress(QChar c)
{
    switch (c.unicode()) {
    case u' ':
    case u'\t':
    case u'\n':
    case u'\v':
    case u'\f':
    case u'\r':
    case u'<':
    case u'>':
    case u'"':
    case u'\'':
    case u',':
    case u';':
    case u':':
    case u'(':
    case u')':
    case u'[':
    case u']':
        return true;
    default:
        return false;
    }
}

} // namespace

QStringList fieldAddresses(QStringView text)
{
    if (text.trimmed() == u"<>")
        return {QString()};
    QStringList found;
    if (!text.contains(QLatin1Char('@')))
        return found;
    // Each run of characters between those that end an address is one
    // address when an '@' stands inside it, with something either side.
    for (qsizetype i = 0; i < text.size();) {
        if (endsAddress(text.at(i))) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && !endsAddress(text.at(end)))
            ++end;
        if (end - i >= 3 && text.sliced(i + 1, end - i - 2).contains(QLatin1Char('@')))
            found << lowerAZ(text.sliced(i, end - i).toString());
        i = end;
    }
    return found;
}
