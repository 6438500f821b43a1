#include "base/console.h"

#include <iostream>

namespace {
thread_local std::ostream* currentConsole = nullptr;
}

std::ostream& console() { return currentConsole ? *currentConsole : std::cout; }

ConsoleCapture::ConsoleCapture(std::ostream& sink) : previous_(currentConsole) { currentConsole = &sink; }

ConsoleCapture::~ConsoleCapture() { currentConsole = previous_; }
