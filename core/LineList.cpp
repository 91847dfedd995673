#include "core/LineList.h"

#include <algorithm>
#include <stdexcept>

namespace {

bool isControl(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7f && u <= 0x9f);
}

// A control character from an address or a comment would make the files
// binary (NUL), split a line (CR, LF) or not show at all: it is written as
// \xHH, in the lines themselves, so the journals and the files agree.
QString visible(const QString &line)
{
    const auto first = std::find_if(line.cbegin(), line.cend(), isControl);
    if (first == line.cend())
        return line;
    QString out = line.first(first - line.cbegin());
    out.reserve(line.size() + 8);
    for (auto it = first; it != line.cend(); ++it) {
        if (isControl(*it))
            out += QStringLiteral("\\x%1").arg(int(it->unicode()), 2, 16, QLatin1Char('0'));
        else
            out += *it;
    }
    return out;
}

QStringList visible(const QStringList &lines)
{
    QStringList out = lines;
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (std::any_of(out.at(i).cbegin(), out.at(i).cend(), isControl))
            out[i] = visible(out.at(i));
    }
    return out;
}

} // namespace

LineList::LineList(QStringList initial, QObject *parent)
    : QObject(parent)
    , m_lines(std::move(initial))
{
}

void LineList::show(const QStringList &lines)
{
    for (const QString &line : lines) {
        m_lines.append(line);
        Q_EMIT appended(line);
    }
}

void LineList::append(const QString &text, Keep keep)
{
    // A run's lines stay in memory for the log view: a line built by
    // appending would keep up to twice the room it needs.
    QString line = visible(text);
    line.squeeze();
    if (m_group) {
        m_group->lines.append(line);
        m_group->always.append(keep == Keep::Always);
        return;
    }
    if (m_sink)
        m_sink->added({line});
    show({line});
}

void LineList::beginGroup(const QByteArray &tag)
{
    if (m_group)
        throw std::logic_error("line groups do not nest");
    m_group = Group{tag, {}, {}, false};
}

void LineList::prepareGroup()
{
    if (!m_group || m_group->prepared)
        return;
    m_group->prepared = true;
    if (m_sink && !m_group->lines.isEmpty())
        m_sink->inDoubt(m_group->tag, m_group->lines);
}

void LineList::endGroup(bool stored)
{
    if (!m_group)
        return;
    Group group = std::move(*m_group);
    m_group.reset();
    if (group.lines.isEmpty())
        return;
    QStringList kept;
    if (stored) {
        kept = group.lines;
    } else {
        for (qsizetype i = 0; i < group.lines.size(); ++i) {
            if (group.always.at(i))
                kept.append(group.lines.at(i));
        }
    }
    if (m_sink) {
        if (group.prepared)
            m_sink->settled(group.tag, stored);
        if (!kept.isEmpty() && (!stored || !group.prepared))
            m_sink->added(kept);
    }
    show(kept);
}

std::optional<bool> LineList::groupStored(const QByteArray &tag) const
{
    if (!m_groupCheck)
        return std::nullopt;
    return m_groupCheck(tag);
}

void LineList::setLines(const QStringList &lines)
{
    m_lines = visible(lines);
    Q_EMIT reset();
}

void LineList::removeAt(int index)
{
    if (index < 0 || index >= m_lines.size())
        return;
    m_lines.removeAt(index);
    Q_EMIT reset();
}

void LineList::clear()
{
    m_lines.clear();
    Q_EMIT reset();
}

QStringList LineList::logHeader()
{
    const QString stars(63, QLatin1Char('*'));
    return {stars, QString(28, QLatin1Char(' ')) + QStringLiteral("Mailing List Log"), stars};
}
