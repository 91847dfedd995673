#pragma once
// How long jobs report progress without knowing about windows, and a gate
// that keeps a million-line job from spending its time repainting.
#include <QElapsedTimer>
#include <QString>

#include <functional>

// showprogress(show, position, total, message)
using ProgressFn = std::function<void(bool, int, int, const QString &)>;

class ThrottledProgress
{
public:
    static constexpr int IntervalMs = 33;

    explicit ThrottledProgress(ProgressFn target)
        : m_target(std::move(target))
    {
    }

    // Always passes the first and the last position on.
    void update(int position, int total, const QString &message = QString())
    {
        if (!m_target)
            return;
        const bool edge = !m_clock.isValid() || position >= total;
        if (!edge && m_clock.elapsed() < IntervalMs)
            return;
        m_clock.start();
        m_target(true, position, total, message);
    }

    void hide()
    {
        if (m_target)
            m_target(false, 0, 0, QString());
    }

private:
    ProgressFn m_target;
    QElapsedTimer m_clock;
};
