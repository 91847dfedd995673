#include "core/LineList.h"

LineList::LineList(QStringList initial, QObject *parent)
    : QObject(parent)
    , m_lines(std::move(initial))
{
}

void LineList::append(const QString &line)
{
    m_lines.append(line);
    Q_EMIT appended(line);
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
