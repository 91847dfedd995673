#include "dialogs/FormScale.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QScreen>
#include <QWidget>

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
    return QSize(px(width), px(height)).boundedTo(room());
}

QRect rect(int x, int y, int width, int height)
{
    return {px(x), px(y), px(width), px(height)};
}

QSize room(const QWidget *window)
{
    // A title bar and borders of a common desktop, so the frame fits too.
    static const QSize frame(16, 48);
    QScreen *screen = window ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
    return screen->availableGeometry().size() - frame;
}

void fit(QWidget *window, const QSize &room)
{
    if (window->minimumSize().boundedTo(room) != window->minimumSize())
        window->setMinimumSize(window->minimumSize().boundedTo(room));
    window->setMaximumSize(window->maximumSize().boundedTo(room));
    window->resize(window->size().boundedTo(room));
}

void fit(QWidget *window)
{
    fit(window, room(window));
}

} // namespace formscale
