#pragma once
// Finds captions that their control cuts off: buttons, labels, radio
// buttons, check boxes, group box titles, tabs and column titles of a window.
#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QStyle>
#include <QTabBar>
#include <QTableView>

#include <algorithm>

namespace textfit {

inline QString plain(QString text)
{
    return text.replace(QLatin1String("&&"), QStringLiteral("\x01"))
        .remove(QLatin1Char('&'))
        .replace(QChar(1), QLatin1Char('&'));
}

inline QString describe(const QWidget *w, const QString &text, int need, int have)
{
    return QStringLiteral("%1 \"%2\": needs %3, has %4").arg(w->objectName(), text).arg(need).arg(have);
}

// Lays the window out first; it need not be shown.
inline QStringList clippedTexts(QWidget *window)
{
    window->ensurePolished();
    if (window->layout())
        window->layout()->activate();
    QStringList out;
    const auto widgets = window->findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        // Pages of a tab widget other than the one on top are not seen.
        if (!w->isVisibleTo(window))
            continue;
        const QFontMetrics fm(w->font());
        if (auto *b = qobject_cast<QPushButton *>(w)) {
            if (b->text().isEmpty())
                continue;
            const int margin = b->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b)
                               + 2 * b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b);
            const int need = fm.horizontalAdvance(plain(b->text())) + margin
                             + (b->icon().isNull() ? 0 : b->iconSize().width() + 4);
            if (need > b->width())
                out << describe(b, b->text(), need, b->width());
        } else if (qobject_cast<QRadioButton *>(w) || qobject_cast<QCheckBox *>(w)) {
            auto *b = static_cast<QAbstractButton *>(w);
            if (b->sizeHint().width() > b->width())
                out << describe(b, b->text(), b->sizeHint().width(), b->width());
        } else if (auto *l = qobject_cast<QLabel *>(w)) {
            if (l->wordWrap() || l->text().isEmpty() || l->textFormat() == Qt::RichText)
                continue;
            const int need = l->sizeHint().width();
            if (need > l->width())
                out << describe(l, l->text(), need, l->width());
        } else if (auto *g = qobject_cast<QGroupBox *>(w)) {
            const int need = fm.horizontalAdvance(plain(g->title())) + 16;
            if (!g->title().isEmpty() && need > g->width())
                out << describe(g, g->title(), need, g->width());
        } else if (auto *t = qobject_cast<QTabBar *>(w)) {
            // An elided or scrolled-away tab shows less than its caption.
            const int margin = t->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, t);
            for (int i = 0; i < t->count(); ++i) {
                const int need = fm.horizontalAdvance(plain(t->tabText(i))) + margin;
                const QRect tab = t->tabRect(i);
                if (need > tab.width() || tab.right() >= t->width())
                    out << describe(t, t->tabText(i), need, std::min(tab.width(), t->width() - tab.left()));
            }
        } else if (auto *v = qobject_cast<QTableView *>(w)) {
            QHeaderView *h = v->horizontalHeader();
            if (!v->model() || h->isHidden())
                continue;
            const QFontMetrics hfm(h->font());
            const int margin = 2 * h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
            for (int c = 0; c < v->model()->columnCount(); ++c) {
                const QString title = v->model()->headerData(c, Qt::Horizontal).toString();
                const int need = hfm.horizontalAdvance(title) + margin;
                if (!h->isSectionHidden(c) && need > h->sectionSize(c))
                    out << describe(v, title, need, h->sectionSize(c));
            }
        }
    }
    return out;
}

} // namespace textfit
