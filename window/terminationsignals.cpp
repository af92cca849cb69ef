#include "window/terminationsignals.h"

#include <QCoreApplication>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array handledSignals{SIGTERM, SIGINT, SIGHUP};

// A signal handler may only do async-signal-safe work: it notes the signal, and writes one byte
// that the event loop reads.
int wakeUpPipe[2] = {-1, -1};
volatile std::sig_atomic_t signalled = 0;

void wakeUp(int)
{
    const int savedErrno = errno;
    signalled = 1;
    [[maybe_unused]] const ssize_t written = write(wakeUpPipe[1], "!", 1);
    errno = savedErrno;
}

void setHandler(void (*handler)(int))
{
    struct sigaction action { };
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : handledSignals)
        sigaction(signal, &action, nullptr);
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent)
    , notifier(QSocketNotifier::Read)
{
    // Without a pipe (no descriptors left) the signals keep their default: they end the program.
    if (wakeUpPipe[0] < 0 && pipe2(wakeUpPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier.setSocket(wakeUpPipe[0]);
    notifier.setEnabled(true);
    connect(&notifier, &QSocketNotifier::activated, this, &TerminationSignals::quit);
    setHandler(wakeUp);
}

TerminationSignals::~TerminationSignals()
{
    setHandler(SIG_DFL);
}

int TerminationSignals::descriptor() const
{
    return wakeUpPipe[0];
}

bool TerminationSignals::ending()
{
    return signalled != 0;
}

// The byte stays in the pipe, so that every wait for the disk from now on is cut short.
void TerminationSignals::quit()
{
    notifier.setEnabled(false);
    hasReceived = true;
    QCoreApplication::exit(EXIT_SUCCESS);
}
