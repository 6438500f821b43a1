// End-to-end batch runs on layouts of real size: random chart layouts of 200
// to 600 charts (15,000 to 30,000 triangles, some with cones) and one of
// 100,000 triangles in about 2,000 charts. Every binary named on the command
// line runs each model in batch mode, one after the other in the same run, so
// that their figures can be compared side by side.
//
//   bench_scale [--write DIR] [--only NAME] [--skip-large] BINARY [BINARY ...]
//
// Per run it prints the wall time of the stages (as seen on the program's
// console: loading, overlap removal and welding, refinement, writing), the
// number of refinement iterations and their mean and longest wall time, the
// total wall time and the peak resident memory of the child process.
// --write DIR only writes the models as OBJ files into DIR.
#include "meshgen/meshgen.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct ScaleModel {
    std::string name;
    int charts;
    int triangles;
    bool cones;
    bool large;
};

const std::vector<ScaleModel> kModels = {
    {"charts200", 200, 15000, false, false},
    {"charts350cones", 350, 22000, true, false},
    {"charts600", 600, 30000, true, false},
    {"charts2000", 2000, 100000, true, true},
};

// The random layout as a single OBJ shape: one UV vertex list, every chart's
// indices offset into it, and every 97th 3D vertex a cone when asked.
meshgen::MeshData toMesh(const Model& model, bool cones)
{
    meshgen::MeshData mesh;
    mesh.positions.assign(model.sharedPositions.begin(), model.sharedPositions.end());
    for (const Chart& chart : model.charts) {
        const uint32_t offset = static_cast<uint32_t>(mesh.uvs.size() / 2);
        mesh.uvs.insert(mesh.uvs.end(), chart.uvCoords2D.begin(), chart.uvCoords2D.end());
        mesh.posIndices.insert(mesh.posIndices.end(), chart.triIndicesPos.begin(), chart.triIndicesPos.end());
        for (uint32_t k : chart.triIndicesUV)
            mesh.uvIndices.push_back(k + offset);
    }
    if (cones)
        for (uint32_t v = 50; v < mesh.numVertices(); v += 97)
            mesh.cones.push_back(v);
    return mesh;
}

double since(Clock::time_point t0, Clock::time_point t) { return std::chrono::duration<double>(t - t0).count(); }

struct RunFigures {
    bool ok = false;
    double load = 0, repair = 0, refine = 0, write = 0, total = 0;
    int iterations = 0;
    double meanIteration = 0, longestIteration = 0;
    double peakMiB = 0;
};

// Runs `binary model.obj --batchmode` in dir, time-stamping its console lines.
RunFigures runBatch(const std::string& binary, const std::string& dir)
{
    RunFigures f;
    int out[2];
    if (pipe(out) != 0)
        return f;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string script = "cd '" + dir + "' && exec '" + binary + "' model.obj --batchmode";
    const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
    pid_t pid = 0;
    const Clock::time_point start = Clock::now();
    const int spawned = posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        return f;
    }

    double loaded = -1, firstIteration = -1, finished = -1, lastIteration = -1;
    std::string line;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        const double t = since(start, Clock::now());
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] != '\n') {
                line += buffer[i];
                continue;
            }
            if (loaded < 0 && line.rfind("Successfully loaded.", 0) == 0)
                loaded = t;
            if (line.find(" *** ITERATION ") != std::string::npos) {
                if (firstIteration < 0)
                    firstIteration = t;
                if (lastIteration >= 0)
                    f.longestIteration = std::max(f.longestIteration, t - lastIteration);
                lastIteration = t;
                ++f.iterations;
            }
            if (finished < 0 && (line.rfind("Finished.", 0) == 0 || line.rfind("Refinement cancelled", 0) == 0)) {
                finished = t;
                if (lastIteration >= 0)
                    f.longestIteration = std::max(f.longestIteration, t - lastIteration);
            }
            line.clear();
        }
    }
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    f.total = since(start, Clock::now());
    f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    f.peakMiB = usage.ru_maxrss / 1024.0;
    if (loaded < 0)
        loaded = f.total;
    if (firstIteration < 0)
        firstIteration = finished >= 0 ? finished : f.total;
    if (finished < 0)
        finished = f.total;
    f.load = loaded;
    f.repair = firstIteration - loaded;
    f.refine = finished - firstIteration;
    f.write = f.total - finished;
    f.meanIteration = f.iterations ? f.refine / f.iterations : 0.0;
    return f;
}

std::string makeTempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tarnwick_bench_scaleXXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    return mkdtemp(buf.data()) ? std::string(buf.data()) : std::string();
}

int usage()
{
    std::fprintf(stderr, "usage: bench_scale [--write DIR] [--only NAME] [--skip-large] BINARY [BINARY ...]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> binaries;
    std::string writeDir, only;
    bool skipLarge = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--write" && i + 1 < argc)
            writeDir = argv[++i];
        else if (a == "--only" && i + 1 < argc)
            only = argv[++i];
        else if (a == "--skip-large")
            skipLarge = true;
        else if (!a.empty() && a[0] == '-')
            return usage();
        else
            binaries.push_back(a);
    }
    if (binaries.empty() && writeDir.empty())
        return usage();

    for (const ScaleModel& m : kModels) {
        if ((!only.empty() && m.name != only) || (skipLarge && m.large))
            continue;
        const Model model = meshgen::randomChartLayout(m.charts, m.triangles, 2027u);
        const meshgen::MeshData mesh = toMesh(model, m.cones);
        if (!writeDir.empty()) {
            meshgen::writeOBJ(mesh, writeDir + "/" + m.name + ".obj");
            continue;
        }
        std::printf("%s: %zu triangles, %zu charts, %zu cones\n", m.name.c_str(), mesh.numTriangles(),
                    model.charts.size(), mesh.cones.size());
        std::printf("  %-28s %8s %8s %8s %8s %8s %6s %8s %8s %8s\n", "binary", "load", "repair", "refine",
                    "write", "total", "iters", "s/iter", "max/iter", "peak MiB");
        for (const std::string& binary : binaries) {
            const std::string dir = makeTempDir();
            if (dir.empty() || !meshgen::writeOBJ(mesh, dir + "/model.obj"))
                return 1;
            const RunFigures f = runBatch(binary, dir);
            std::string shown = binary.size() > 28 ? "..." + binary.substr(binary.size() - 25) : binary;
            std::printf("  %-28s %8.2f %8.2f %8.2f %8.2f %8.2f %6d %8.2f %8.2f %8.0f%s\n", shown.c_str(), f.load,
                        f.repair, f.refine, f.write, f.total, f.iterations, f.meanIteration,
                        f.longestIteration, f.peakMiB, f.ok ? "" : "  (failed)");
            std::fflush(stdout);
            const std::string remove = "rm -rf '" + dir + "'";
            if (std::system(remove.c_str()) != 0)
                std::fprintf(stderr, "could not remove %s\n", dir.c_str());
        }
    }
    return 0;
}
