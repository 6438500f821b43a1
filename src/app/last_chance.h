#pragma once

// Installs the handlers for faults that nothing else handles: an unhandled
// exception or a fatal signal prints "Exception detected" and ends the process
// with status 1.
void installLastChanceHandlers();
