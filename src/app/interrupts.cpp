#include "app/interrupts.h"

#include <atomic>
#include <csignal>

#include <signal.h>

namespace {

volatile std::sig_atomic_t receivedSignalNumber = 0;
std::atomic<RunControl*> interruptedControl{nullptr};
static_assert(std::atomic<RunControl*>::is_always_lock_free, "the signal handler needs a lock-free pointer");

struct sigaction previousInt, previousTerm;

extern "C" void onInterrupt(int signal)
{
    if (receivedSignalNumber == 0)
        receivedSignalNumber = signal;
    // The next SIGINT or SIGTERM takes its default action.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(SIGINT, &fallback, nullptr);
    sigaction(SIGTERM, &fallback, nullptr);
    if (RunControl* control = interruptedControl.load())
        control->requestInterrupt();
}

} // namespace

InterruptGuard::InterruptGuard(RunControl& control)
{
    interruptedControl.store(&control);
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
}

InterruptGuard::~InterruptGuard()
{
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
    interruptedControl.store(nullptr);
}

int InterruptGuard::receivedSignal()
{
    return receivedSignalNumber;
}

const char* signalName(int signal)
{
    if (signal == SIGINT)
        return "SIGINT";
    if (signal == SIGTERM)
        return "SIGTERM";
    return "a signal";
}

int interruptedExitStatus(int signal)
{
    return 128 + signal;
}
