#include "store/ErrorLine.h"

#include "core/AsciiCase.h"

namespace {
const QString Arrow = QStringLiteral(" -> ");
} // namespace

QString errorLine(const QString &action, const QString &address, const QString &category, const QString &reason)
{
    const QString line = action + QLatin1Char(' ') + address + QLatin1Char(' ') + category;
    return reason.isEmpty() ? line : line + Arrow + reason;
}

QString bounceErrorLine(const QString &address, const QString &reason)
{
    const QString line = QStringLiteral("REMOVE ") + address;
    return reason.isEmpty() ? line : line + Arrow + reason;
}

ErrorRequest parseErrorLine(const QString &line)
{
    ErrorRequest request;
    QString body = line;
    // The reason is fixed text; whatever the address held, the last arrow is its.
    const qsizetype arrow = line.lastIndexOf(Arrow);
    if (arrow >= 0) {
        request.reason = line.mid(arrow + Arrow.size());
        body = line.left(arrow);
    }
    qsizetype start = 0;
    while (start < body.size() && body.at(start) == QLatin1Char(' '))
        ++start;
    qsizetype end = body.indexOf(QLatin1Char(' '), start);
    if (end < 0)
        end = body.size();
    request.add = upperAZ(body.mid(start, end - start)) == QLatin1String("ADD");

    start = end;
    while (start < body.size() && body.at(start) == QLatin1Char(' '))
        ++start;
    const QString rest = body.mid(start);
    qsizetype from = rest.lastIndexOf(QLatin1Char('@'));
    if (from < 0 && rest.startsWith(QLatin1Char('"')))
        from = qMax<qsizetype>(0, rest.indexOf(QLatin1Char('"'), 1));
    qsizetype addressEnd = rest.indexOf(QLatin1Char(' '), qMax<qsizetype>(0, from));
    if (addressEnd < 0)
        addressEnd = rest.size();
    request.address = rest.left(addressEnd);
    request.category = rest.mid(addressEnd + 1).trimmed();
    return request;
}
