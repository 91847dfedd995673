#include "dialogs/SidePanel.h"

#include "dialogs/FormScale.h"

#include <QBoxLayout>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

namespace sidepanel {

QPushButton *button(QWidget *parent, const QString &text, const char *name, const QString &hint)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    if (!hint.isEmpty())
        b->setToolTip(hint);
    return b;
}

void addColumn(QBoxLayout *row, QWidget *parent, std::initializer_list<QPushButton *> buttons, int buttonWidth,
               int panelWidth)
{
    auto *panel = new QVBoxLayout;
    for (QPushButton *b : buttons) {
        b->setMinimumSize(formscale::size(buttonWidth, 25));
        // Enter belongs to the list (editing a line), not to a button.
        b->setAutoDefault(false);
        panel->addWidget(b);
    }
    panel->addStretch(1);
    auto *box = new QWidget(parent);
    box->setObjectName(QStringLiteral("Panel1"));
    box->setLayout(panel);
    box->setMinimumWidth(formscale::px(panelWidth));
    row->addWidget(box);
}

void resizeCentred(QWidget *window, int width, int height)
{
    window->resize(formscale::size(width, height));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
}

} // namespace sidepanel
