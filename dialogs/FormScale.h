#pragma once
// Form sizes are drawn for an 8-point system font at 96 DPI. Like scaled
// forms of the classic desktop frameworks, every size is multiplied by the
// running font's average character width over that font's, so captions
// keep fitting under a larger font or a high-DPI setting.
#include <QFont>
#include <QRect>
#include <QSize>

namespace formscale {

// Average width of the 52 letters a-z, A-Z in the design font.
constexpr double DesignCharWidth = 5.75;

double averageCharWidth(const QFont &font);
// The factor for the application font; never below 1, so nothing shrinks
// under the size it was drawn for.
double factor();
int px(int designPixels);
QSize size(int width, int height);
QRect rect(int x, int y, int width, int height);

} // namespace formscale
