#include "dialogs/FormScale.h"

#include <QApplication>
#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace formscale {

double averageCharWidth(const QFont &font)
{
    static const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    return QFontMetricsF(font).horizontalAdvance(letters) / letters.size();
}

double factor()
{
    return std::max(1.0, averageCharWidth(QApplication::font()) / DesignCharWidth);
}

int px(int designPixels)
{
    return int(std::lround(designPixels * factor()));
}

QSize size(int width, int height)
{
    return {px(width), px(height)};
}

QRect rect(int x, int y, int width, int height)
{
    return {px(x), px(y), px(width), px(height)};
}

} // namespace formscale
