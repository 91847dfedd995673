#pragma once
// Turns a request to end the program from outside (SIGTERM, as at log-out or
// shutdown) into a signal delivered by the event loop, so the program can
// close as its window's close does instead of dying mid-write.
#include <QObject>

class QSocketNotifier;

class TerminationNotifier : public QObject
{
    Q_OBJECT
public:
    explicit TerminationNotifier(QObject *parent = nullptr);
    ~TerminationNotifier() override;

Q_SIGNALS:
    void terminationRequested();

private:
    void drain();

    QSocketNotifier *m_notifier = nullptr;
};
