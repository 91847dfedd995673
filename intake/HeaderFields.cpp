#include "intake/HeaderFields.h"

#include "core/AsciiCase.h"

#include <QRegularExpression>

HeaderFields::HeaderFields(const QString &block)
{
    for (QStringView line : QStringView(block).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty())
            break;
        if ((line.front() == QLatin1Char(' ') || line.front() == QLatin1Char('\t'))) {
            if (!m_fields.isEmpty()) {
                m_fields.last().second += QLatin1Char(' ');
                m_fields.last().second += line.trimmed();
            }
            continue;
        }
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            continue;
        m_fields.append({lowerAZ(line.first(colon).trimmed().toString()), line.sliced(colon + 1).trimmed().toString()});
    }
}

bool HeaderFields::has(QLatin1StringView name) const
{
    for (const auto &field : m_fields) {
        if (field.first == name)
            return true;
    }
    return false;
}

QString HeaderFields::value(QLatin1StringView name) const
{
    for (const auto &field : m_fields) {
        if (field.first == name)
            return field.second;
    }
    return {};
}

QStringList HeaderFields::values(QLatin1StringView name) const
{
    QStringList found;
    for (const auto &field : m_fields) {
        if (field.first == name)
            found << field.second;
    }
    return found;
}

QStringList fieldAddresses(const QString &value)
{
    if (value.trimmed() == QLatin1String("<>"))
        return {QString()};
    static const QRegularExpression address(QStringLiteral(R"([^\s<>"',;:()\[\]]+@[^\s<>"',;:()\[\]]+)"));
    QStringList found;
    for (auto it = address.globalMatch(value); it.hasNext();)
        found << lowerAZ(it.next().captured());
    return found;
}
