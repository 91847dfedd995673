#include "core/LineList.h"

#include <stdexcept>

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

void LineList::append(const QString &line, Keep keep)
{
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
    m_lines = lines;
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
