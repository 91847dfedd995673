#pragma once
// The column of buttons beside a list that the log and error windows share,
// and the centring of a window of design size on the screen.
#include <QString>

#include <initializer_list>

class QBoxLayout;
class QPushButton;
class QWidget;

namespace sidepanel {

QPushButton *button(QWidget *parent, const QString &text, const char *name, const QString &hint = {});
// The buttons top down, each at least the design size, in a panel at least
// the design width, added to the row.
void addColumn(QBoxLayout *row, QWidget *parent, std::initializer_list<QPushButton *> buttons, int buttonWidth,
               int panelWidth);
void resizeCentred(QWidget *window, int width, int height);

} // namespace sidepanel
