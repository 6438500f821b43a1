#pragma once

#include <ostream>

// The stream that progress messages of the current thread go to: standard
// output unless a ConsoleCapture is active on this thread. Code that may run
// on a worker thread writes its messages here, so that the messages of work
// done concurrently can be replayed in the order of a sequential run.
std::ostream& console();

// While alive, routes console() of the constructing thread into `sink`.
// Captures nest; the previous target is restored on destruction.
class ConsoleCapture {
public:
    explicit ConsoleCapture(std::ostream& sink);
    ~ConsoleCapture();
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

private:
    std::ostream* previous_;
};
