#include "platform/instance/TerminationNotifier.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A signal handler may only write to a pipe; the loop reads the other end.
int wakeFds[2] = {-1, -1};

extern "C" void onTerminate(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFds[1], &byte, 1);
    errno = saved;
}

} // namespace

TerminationNotifier::TerminationNotifier(QObject *parent)
    : QObject(parent)
{
    if (wakeFds[0] < 0 && ::pipe2(wakeFds, O_NONBLOCK | O_CLOEXEC) != 0)
        return;
    m_notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationNotifier::drain);
    struct sigaction action = {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
}

TerminationNotifier::~TerminationNotifier()
{
    ::signal(SIGTERM, SIG_DFL);
}

void TerminationNotifier::drain()
{
    char bytes[64];
    bool asked = false;
    while (::read(wakeFds[0], bytes, sizeof bytes) > 0)
        asked = true;
    if (asked)
        Q_EMIT terminationRequested();
}
