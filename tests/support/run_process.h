#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct ProcessResult {
    int exitStatus = -1;   // exit code, or 128 + signal number
    bool timedOut = false;
    std::string out;       // standard output
    std::string err;       // standard error
};

// Runs program with args in workingDir, with extra environment entries
// ("NAME=value"; "NAME=" removes NAME), killing it after timeoutSeconds.
// With a signalNumber, sends it to the program once its standard output
// contains signalWhen.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workingDir, const std::vector<std::string>& env = {},
                         int timeoutSeconds = 300, const std::string& signalWhen = "", int signalNumber = 0);

} // namespace testsupport
