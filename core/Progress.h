#pragma once
// How long jobs report progress without knowing about windows, and a gate
// that keeps a million-line job from spending its time repainting.
#include <QElapsedTimer>
#include <QLocale>
#include <QString>

#include <functional>

// showprogress(show, position, total, message)
using ProgressFn = std::function<void(bool, int, int, const QString &)>;

// Asked by a job between its items: true once the user chose to stop it.
// Whoever shows the progress answers it; the job stops at the next item,
// leaving what it did so far done.
using StopQuery = std::function<bool()>;

class ThrottledProgress
{
public:
    static constexpr int IntervalMs = 33;

    explicit ThrottledProgress(ProgressFn target, StopQuery stop = {})
        : m_target(std::move(target))
        , m_stop(std::move(stop))
    {
    }

    // Always passes the first and the last position on. False once the job
    // is to stop, before the item at position is begun.
    bool update(int position, int total, const QString &message = QString())
    {
        if (m_target && (!m_clock.isValid() || position >= total || m_clock.elapsed() >= IntervalMs)) {
            m_clock.start();
            m_target(true, position, total, message);
        }
        if (!m_stopped && m_stop && m_stop())
            m_stopped = true;
        return !m_stopped;
    }

    // Whether the next update would show: a caller may skip building its
    // message when it would not.
    bool due() const { return m_target && (!m_clock.isValid() || m_clock.elapsed() >= IntervalMs); }

    bool stopped() const { return m_stopped; }

    void hide()
    {
        if (m_target)
            m_target(false, 0, 0, QString());
    }

private:
    ProgressFn m_target;
    StopQuery m_stop;
    QElapsedTimer m_clock;
    bool m_stopped = false;
};

// "41,200 of 200,000": counts in a cancel report, grouped as the user reads them.
inline QString doneOfTotal(qint64 done, qint64 total)
{
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    return locale.toString(done) + QStringLiteral(" of ") + locale.toString(total);
}
