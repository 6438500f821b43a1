// The refinement evaluates the trials of a cut step on several threads; the
// results must not depend on how many. Two batch runs of the same model, on
// one and on two threads, must write the same files and the same console text
// apart from the processor-time figures.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <regex>
#include <set>

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

std::string withoutTimes(const std::string& text)
{
    static const std::regex boxify("(\"boxifyTime\":)[^,}]*");
    static const std::regex took("Took [-+0-9.eE]+s");
    return std::regex_replace(std::regex_replace(text, boxify, "$1T"), took, "Took Ts");
}

size_t countLines(const std::string& text, const std::string& prefix)
{
    size_t n = 0;
    for (const std::string& line : splitLines(text))
        n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

} // namespace

TEST(Threads, OneAndTwoThreadsWriteTheSameResults)
{
    const std::string model = examplesDir() + "/cube_net.obj";
    const BatchRun one = runBatch(model, {"--threads", "1"});
    const BatchRun two = runBatch(model, {"--threads", "2"});
    ASSERT_EQ(one.result.exitStatus, 0) << one.result.out;
    ASSERT_EQ(two.result.exitStatus, 0) << two.result.out;
    // The model must exercise the searches: several steps that cut.
    EXPECT_GE(countLines(one.result.out, "> Picking a"), 4u);
    EXPECT_GE(countLines(one.result.out, "> Picking a local"), 1u);
    EXPECT_GE(countLines(one.result.out, "Found feasible configuration with score "), 12u);

    EXPECT_EQ(withoutTimes(one.result.out), withoutTimes(two.result.out));
    const std::set<std::string> files = filesIn(one.dir);
    EXPECT_EQ(files, filesIn(two.dir));
    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        const std::string a = testsupport::readTextFile(one.dir + "/" + name);
        const std::string b = testsupport::readTextFile(two.dir + "/" + name);
        EXPECT_FALSE(a.empty());
        EXPECT_TRUE(a == b || withoutTimes(a) == withoutTimes(b));
    }
}
