// The runner when no thread can be started: run by the "ui_no_threads" entry, whose address space is
// smaller than one thread stack; wherever threads can be started the case skips itself.
#include "app/pipeline.h"
#include "ui/PipelineRunner.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <system_error>
#include <thread>
#include <tuple>

TEST(WithoutThreads, AJobThatCannotStartEndsAsAFailure)
{
    try {
        std::thread([] {}).join();
        GTEST_SKIP() << "threads can be started here";
    } catch (const std::system_error&) {
    }
    Pipeline pipeline;
    PipelineRunner runner(pipeline);
    int started = 0, finished = 0;
    bool completed = true, ran = false;
    QObject::connect(&runner, &PipelineRunner::started, [&] { ++started; });
    QObject::connect(&runner, &PipelineRunner::finished, [&](bool ok) {
        ++finished;
        completed = ok;
    });
    testing::internal::CaptureStdout();
    EXPECT_TRUE(runner.start([&](Pipeline&) { return ran = true; }));
    QElapsedTimer clock;
    clock.start();
    while (finished == 0 && clock.elapsed() < 10000)
        QCoreApplication::processEvents();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::make_tuple(started, finished, completed, ran, runner.isRunning()),
              std::make_tuple(1, 1, false, false, false));
    EXPECT_NE(out.find("The run stopped with an error: "), std::string::npos) << out;
    EXPECT_TRUE(runner.wait(0));
    // The runner is free for the next job.
    EXPECT_TRUE(runner.start([](Pipeline&) { return true; }));
}
