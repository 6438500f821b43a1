#include "app/last_chance.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ChildResult {
    int status = -1;
    std::string out;
};

// Runs fn in a child process with the last-chance handlers installed and
// returns its exit status and standard output.
template <typename Fn>
ChildResult runChild(Fn fn)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    // Nothing buffered in this process may reach the child's output.
    std::cout.flush();
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        installLastChanceHandlers();
        // A thread, so that no test framework frame can catch what fn throws.
        std::thread worker(fn);
        worker.join();
        _exit(0);
    }
    close(fds[1]);
    ChildResult r;
    char buffer[256];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        r.out.append(buffer, size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

} // namespace

TEST(LastChance, UnhandledExceptionsAndFatalSignalsEndWithStatusOne)
{
    const std::vector<std::pair<std::function<void()>, int>> cases = {
        {[] { throw std::runtime_error("boom"); }, 1},
        {[] { std::raise(SIGABRT); }, 1},
        {[] {}, 0},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const ChildResult r = runChild(cases[i].first);
        EXPECT_EQ(r.status, cases[i].second) << i;
        EXPECT_EQ(r.out, cases[i].second ? "Exception detected\n" : "") << i;
    }
}
