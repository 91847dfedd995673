#pragma once
// Form sizes are drawn for an 8-point system font at 96 DPI. Like scaled
// forms of the classic desktop frameworks, every size is multiplied by the
// running font's average character width over that font's, so captions
// keep fitting under a larger font or a high-DPI setting.
#include <QFont>
#include <QRect>
#include <QSize>

class QWidget;

namespace formscale {

// Average width of the 52 letters a-z, A-Z in the design font.
constexpr double DesignCharWidth = 5.75;

double averageCharWidth(const QFont &font);
// The factor for the application font; never below 1, so nothing shrinks
// under the size it was drawn for.
double factor();
int px(int designPixels);
// Scaled, but never more than the room on the primary screen.
QSize size(int width, int height);
QRect rect(int x, int y, int width, int height);

// The available area of the window's screen (the primary one before it has a
// screen) less the title bar and borders, which are unknown until it is shown.
QSize room(const QWidget *window = nullptr);
// Shrinks a window, and its fixed or minimum size, into the room, so no part
// of it runs off the screen.
void fit(QWidget *window, const QSize &room);
void fit(QWidget *window);

} // namespace formscale
