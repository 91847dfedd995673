#pragma once
// The single-instance guard: one copy of the program runs per executable
// name; a later start hands its command-line parameters to that copy and
// ends without showing a window. Bringing the first copy to the front is
// up to whoever listens to showRequested.
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class TOneInstance : public QObject
{
    Q_OBJECT
public:
    // A second one in one process throws std::logic_error.
    explicit TOneInstance(QObject *parent = nullptr);
    ~TOneInstance() override;

    bool ShowOnNewInstance = true;
    bool UseHaltToExit = false;
    std::function<void(QObject *sender, const QStringList &params)> OnInstanceStarted;

    enum class Outcome { FirstInstance, HandedOver };
    // Runs the guard once (later calls return the first outcome). name: the
    // executable's file name; params: the command-line parameters without
    // the program path. Throws std::runtime_error("Unable to create
    // semaphore") when a first instance cannot create its semaphore.
    Outcome Loaded(const QString &name, const QStringList &params);

    // After a hand-over: the running copy's process id, and whether it shows
    // its windows on this start's display (empty when that cannot be told).
    qint32 runningCopy() const;
    std::optional<bool> runningCopyOnThisDisplay() const;

    // Replaces both 10000 ms waits of a later start.
    void setWaitMilliseconds(int ms);

Q_SIGNALS:
    // With ShowOnNewInstance, before OnInstanceStarted and instanceStarted,
    // so the window is up when they run.
    void showRequested();
    void instanceStarted(const QStringList &params);

private:
    struct Guard;
    enum class Step { HandedOver, BecomeFirst, Restart };
    struct Attempt;

    Attempt handOver(const QStringList &params);
    bool becomeFirst(qint32 expectedOwner, bool created);
    void guardMessage(quint32 message, quint32 wParam, quint32 lParam);
    void closeObjects();

    std::unique_ptr<Guard> d;
};
