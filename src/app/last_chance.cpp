#include "app/last_chance.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <unistd.h>

namespace {

const char kMessage[] = "Exception detected\n";

void onTerminate()
{
    std::cout.flush();
    (void)!write(STDOUT_FILENO, kMessage, sizeof kMessage - 1);
    _exit(1);
}

void onFatalSignal(int)
{
    // Only async-signal-safe calls here.
    (void)!write(STDOUT_FILENO, kMessage, sizeof kMessage - 1);
    _exit(1);
}

} // namespace

void installLastChanceHandlers()
{
    std::set_terminate(onTerminate);
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer runtime reports memory faults itself; keep its handlers.
    const int signals[] = {SIGILL, SIGABRT};
#else
    const int signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
#endif
    for (int sig : signals)
        std::signal(sig, onFatalSignal);
}
