#include "core/Paths.h"

QString programDirectory(const QString &executablePath)
{
    qsizetype last = -1;
    for (qsizetype i = executablePath.size() - 1; i >= 0; --i) {
        const QChar c = executablePath.at(i);
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':')) {
            last = i;
            break;
        }
    }
    const QString dir = executablePath.left(last + 1).trimmed();
    if (dir.isEmpty() || dir.endsWith(QLatin1Char('/')) || dir.endsWith(QLatin1Char('\\')))
        return dir;
    return dir + QLatin1Char('/');
}
