// Batch runs into an output folder of their own: every result file lands
// there, the folder is locked against a second run, and runs into different
// folders do not touch each other.
#include "e2e_support.h"
#include "app/output_folder.h"
#include "meshgen/meshgen.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <chrono>
#include <future>
#include <set>
#include <thread>

using namespace e2e;

namespace {

std::set<std::string> filesIn(const std::string& dir)
{
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                names.insert(name);
        }
        closedir(d);
    }
    return names;
}

// The text of a result file without the processor-time figures.
std::string withoutTimes(const std::string& path)
{
    std::string kept;
    for (const std::string& line : splitLines(testsupport::readTextFile(path))) {
        if (line.find("\"boxifyTime\"") == std::string::npos)
            kept += line + "\n";
    }
    return kept;
}

testsupport::ProcessResult runIn(const std::string& workDir, const std::vector<std::string>& args)
{
    return testsupport::runProcess(programPath(), args, workDir, {}, 600);
}

} // namespace

TEST(OutputFolder, EveryResultFileGoesIntoTheFolderAndNoneIntoTheWorkingFolder)
{
    testsupport::TempDir models("tarnwick_models");
    const std::string model = models.file("cube.obj");
    meshgen::writeOBJ(meshgen::cubeNet(2), model);

    // The same model once into the working folder and once into a folder
    // (with a missing parent) given relative to the working folder.
    testsupport::TempDir plain("tarnwick_plain");
    testsupport::TempDir work("tarnwick_work");
    const testsupport::ProcessResult a = runIn(plain.path(), {model, "--batchmode"});
    const testsupport::ProcessResult b = runIn(work.path(), {"--output", "results/cube", model, "--batchmode"});
    ASSERT_EQ(a.exitStatus, 0) << a.out;
    ASSERT_EQ(b.exitStatus, 0) << b.out;

    EXPECT_EQ(filesIn(work.path()), std::set<std::string>{"results"});
    EXPECT_EQ(filesIn(work.file("results")), std::set<std::string>{"cube"});
    const std::set<std::string> expected = filesIn(plain.path());
    EXPECT_EQ(expected.size(), 31u); // 7 statistics, 8 drawings, 8 meshes, 8 snapshots
    EXPECT_EQ(filesIn(work.file("results/cube")), expected);
    for (const std::string& name : expected) {
        EXPECT_EQ(withoutTimes(work.file("results/cube/" + name)), withoutTimes(plain.file(name))) << name;
    }
}

TEST(OutputFolder, AFolderThatCannotBeCreatedIsRefused)
{
    testsupport::TempDir models("tarnwick_models");
    const std::string model = models.file("cube.obj");
    meshgen::writeOBJ(meshgen::cubeNet(1), model);
    testsupport::TempDir work("tarnwick_work");
    testsupport::writeTextFile(work.file("plain_file"), "x\n");

    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{model, "--batchmode", "--output", "plain_file"}, "Cannot create the output folder plain_file: "},
        {{model, "--batchmode", "--output", "plain_file/sub"}, "Cannot create the output folder plain_file/sub: "},
        {{model, "--batchmode", "--output", ""}, "Invalid value '' for --output"},
        {{model, "--batchmode", "--output"}, "Option --output needs a value (DIR)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        const testsupport::ProcessResult r = runIn(work.path(), c.args);
        EXPECT_EQ(r.exitStatus, 2) << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Loading"), std::string::npos) << r.out;
    }
    EXPECT_EQ(filesIn(work.path()), std::set<std::string>{"plain_file"});
}

TEST(OutputFolder, ALockedFolderRefusesTheRunAtOnce)
{
    testsupport::TempDir models("tarnwick_models");
    const std::string model = models.file("cube.obj");
    meshgen::writeOBJ(meshgen::cubeNet(1), model);
    testsupport::TempDir work("tarnwick_work");
    ASSERT_EQ(mkdir(work.file("out").c_str(), 0755), 0);

    // This process holds the lock, as a running batch run would.
    FolderLock lock;
    bool busy = false;
    std::string why;
    ASSERT_TRUE(lock.acquire(work.file("out"), busy, why)) << why;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{model, "--batchmode", "--output", work.file("out")},
          std::vector<std::string>{model, "--batchmode", "--output", "out"}}) {
        const auto start = std::chrono::steady_clock::now();
        const testsupport::ProcessResult r = runIn(work.path(), args);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        EXPECT_EQ(r.exitStatus, 2) << r.out;
        EXPECT_NE(r.out.find("The output folder " + args.back() + " is in use by another run."), std::string::npos)
            << r.out;
    }
    // The working folder as the output folder, named by its full path.
    FolderLock workLock;
    ASSERT_TRUE(workLock.acquire(work.path(), busy, why)) << why;
    const testsupport::ProcessResult r = runIn(work.path(), {model, "--batchmode"});
    EXPECT_EQ(r.exitStatus, 2) << r.out;
    EXPECT_NE(r.out.find("The output folder " + work.path() + " is in use by another run."), std::string::npos)
        << r.out;
    EXPECT_EQ(filesIn(work.path()), std::set<std::string>{"out"});
    EXPECT_TRUE(filesIn(work.file("out")).empty());
}

TEST(OutputFolder, ASecondRunIntoTheFolderOfARunningOneIsRefused)
{
    testsupport::TempDir models("tarnwick_models");
    const std::string model = models.file("strip.obj");
    meshgen::writeOBJ(meshgen::cubeNet(4), model);
    testsupport::TempDir work("tarnwick_work");
    const std::string out = work.file("out");

    std::future<testsupport::ProcessResult> first =
        std::async(std::launch::async, [&] { return runIn(work.path(), {model, "--batchmode", "--output", out}); });
    // Once the first run has written its first file it holds the lock.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!filesIn(out).count("input.json") && std::chrono::steady_clock::now() < deadline &&
           first.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const bool firstStillRunning = first.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready;
    const testsupport::ProcessResult second = runIn(work.path(), {model, "--batchmode", "--output", out});
    const testsupport::ProcessResult a = first.get();
    ASSERT_EQ(a.exitStatus, 0) << a.out;
    if (!firstStillRunning)
        GTEST_SKIP() << "the first run ended before the second one started";
    EXPECT_EQ(second.exitStatus, 2) << second.out;
    EXPECT_NE(second.out.find("The output folder " + out + " is in use by another run."), std::string::npos);
    EXPECT_TRUE(filesIn(out).count("export.obj"));
}

TEST(OutputFolder, ConcurrentRunsIntoTheirOwnFoldersKeepTheirOwnResults)
{
    testsupport::TempDir models("tarnwick_models");
    const std::string cube = models.file("cube.obj");
    const std::string cylinder = models.file("cylinder.obj");
    meshgen::writeOBJ(meshgen::cubeNet(2), cube);
    meshgen::writeOBJ(meshgen::openCylinder(16, 6), cylinder);
    testsupport::TempDir work("tarnwick_work");

    // Both start from the same working folder at the same time.
    auto runA = std::async(std::launch::async, [&] { return runIn(work.path(), {cube, "--batchmode", "--output", "a"}); });
    auto runB =
        std::async(std::launch::async, [&] { return runIn(work.path(), {cylinder, "--batchmode", "--output", "b"}); });
    const testsupport::ProcessResult a = runA.get();
    const testsupport::ProcessResult b = runB.get();
    ASSERT_EQ(a.exitStatus, 0) << a.out;
    ASSERT_EQ(b.exitStatus, 0) << b.out;
    EXPECT_EQ(filesIn(work.path()), (std::set<std::string>{"a", "b"}));

    // Each folder holds the complete results of its own model: the statistics
    // of every stage as printed by its own run.
    const struct {
        std::string dir;
        const testsupport::ProcessResult* run;
    } folders[] = {{work.file("a"), &a}, {work.file("b"), &b}};
    for (const auto& f : folders) {
        SCOPED_TRACE(f.dir);
        const std::vector<std::string> blocks = consoleStatsBlocks(f.run->out);
        ASSERT_GE(blocks.size(), 4u);
        EXPECT_EQ(testsupport::readTextFile(f.dir + "/input.json"), blocks[0]);
        EXPECT_EQ(testsupport::readTextFile(f.dir + "/overlap_free.json"), blocks[2]);
        EXPECT_EQ(testsupport::readTextFile(f.dir + "/bl_200.json"), blocks.back());
        for (const char* name : {"export.obj", "export.svg", "welded.json", "bl_150.obj"})
            EXPECT_FALSE(testsupport::readTextFile(f.dir + "/" + name).empty()) << name;
    }
    EXPECT_NE(testsupport::readTextFile(work.file("a/input.obj")), testsupport::readTextFile(work.file("b/input.obj")));
}
