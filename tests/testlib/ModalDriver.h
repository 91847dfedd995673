#pragma once
// Answers modal dialogs that a handler opens and runs with exec(): each
// expectation waits for the next modal dialog of its type, then acts on it
// (fill fields, press a button). A test that opens a dialog from a click
// queues the answer first, clicks, and checks done() afterwards.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QQueue>
#include <QTimer>
#include <QWidget>

#include <functional>

class ModalDriver : public QObject
{
public:
    static constexpr int PollMs = 10;
    static constexpr int TimeoutMs = 10000;

    ModalDriver()
    {
        m_timer.setInterval(PollMs);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
    }

    template<typename Dialog> void expect(std::function<void(Dialog *)> act)
    {
        m_pending.enqueue({[](QWidget *w) { return qobject_cast<Dialog *>(w) != nullptr; },
                           [act](QWidget *w) { act(qobject_cast<Dialog *>(w)); }});
        m_timer.start();
        m_waited.start();
    }

    // True once every queued dialog has been met and answered.
    bool done() const { return m_pending.isEmpty(); }

private:
    struct Expectation
    {
        std::function<bool(QWidget *)> matches;
        std::function<void(QWidget *)> act;
    };

    void poll()
    {
        if (m_pending.isEmpty()) {
            m_timer.stop();
            return;
        }
        QWidget *top = QApplication::activeModalWidget();
        if (!top) {
            // Offscreen windows are not always activated; any visible modal dialog will do.
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (w->isVisible() && w->isModal() && w != m_lastHandled)
                    top = w;
            }
        }
        if (top && top != m_lastHandled && m_pending.head().matches(top)) {
            m_lastHandled = top;
            const Expectation e = m_pending.dequeue();
            e.act(top);
            return;
        }
        if (m_waited.elapsed() > TimeoutMs) {
            // Close whatever blocks the test so it can fail rather than hang.
            m_timer.stop();
            if (auto *d = qobject_cast<QDialog *>(top))
                d->reject();
        }
    }

    QQueue<Expectation> m_pending;
    QPointer<QWidget> m_lastHandled;
    QTimer m_timer;
    QElapsedTimer m_waited;
};
