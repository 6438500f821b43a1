// tarnwick-meshgen: writes one generated test mesh as an OBJ file.
#include "meshgen/meshgen.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "Usage: tarnwick-meshgen KIND OUT.obj [options]\n"
    "Kinds and their size options (defaults in brackets):\n"
    "  cylinder  --segments N [32] --rings N [12]  open cylinder unrolled into one rectangle\n"
    "  cube      --n N [10]                        closed cube cut open into a cross; its corners are cones\n"
    "  grid      --nx N [20] --ny N [20]           flat square grid\n"
    "  lshape    --nx N [20] --ny N [20]           flat L-shaped grid\n"
    "  holes     --nx N [20] --ny N [20]           flat grid with two holes\n"
    "  cap       --rings N [20] --angle A [1.2]    spherical cap up to polar angle A radians, untextured\n"
    "  saddle    --rings N [20]                    saddle z = x^2 - y^2 over a disk, untextured\n"
    "  folded    --segments N [360] --folds N [3]  strip whose UV layout loops over itself N times\n"
    "  mushroom  --rings N [16] --segments N [32]  cap over a stem, projected: the underside folds under the cap\n"
    "  doublefold --columns N [60] --rows N [8]    sheet folded back twice, projected: three layers\n"
    "  spiral    --segments N [96] --rows N [6]    spiral ramp, projected: each turn half covers the last\n"
    "Options for every kind:\n"
    "  --colors      add per-vertex colours\n"
    "  --untextured  leave out the UV layout\n"
    "  --help        show this text";

struct IntOption {
    int value;
    int min;
    int max;
    bool given = false;
};

struct Kind {
    std::map<std::string, IntOption> ints;
    bool hasAngle = false;
};

std::map<std::string, Kind> kinds()
{
    using meshgen::kMaxGridSize;
    std::map<std::string, Kind> k;
    k["cylinder"].ints = {{"--segments", {32, 3, kMaxGridSize}}, {"--rings", {12, 1, kMaxGridSize}}};
    k["cube"].ints = {{"--n", {10, 1, meshgen::kMaxCubeSize}}};
    k["grid"].ints = {{"--nx", {20, 1, kMaxGridSize}}, {"--ny", {20, 1, kMaxGridSize}}};
    k["lshape"].ints = {{"--nx", {20, 2, kMaxGridSize}}, {"--ny", {20, 2, kMaxGridSize}}};
    k["holes"].ints = {{"--nx", {20, 5, kMaxGridSize}}, {"--ny", {20, 5, kMaxGridSize}}};
    k["cap"].ints = {{"--rings", {20, 1, meshgen::kMaxDiskRings}}};
    k["cap"].hasAngle = true;
    k["saddle"].ints = {{"--rings", {20, 1, meshgen::kMaxDiskRings}}};
    k["folded"].ints = {{"--segments", {360, 24, meshgen::kMaxStripSegments}},
                        {"--folds", {3, 1, meshgen::kMaxStripFolds}}};
    k["mushroom"].ints = {{"--rings", {16, 8, meshgen::kMaxDiskRings}}, {"--segments", {32, 8, kMaxGridSize}}};
    k["doublefold"].ints = {{"--columns", {60, 24, kMaxGridSize}}, {"--rows", {8, 1, kMaxGridSize}}};
    k["spiral"].ints = {{"--segments", {96, 24, kMaxGridSize}}, {"--rows", {6, 1, kMaxGridSize}}};
    return k;
}

int fail(const std::string& message)
{
    std::cout << "tarnwick-meshgen: " << message << std::endl;
    std::cout << kUsage << std::endl;
    return 2;
}

bool parseInt(const std::string& text, long& value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
}

bool parseDouble(const std::string& text, double& value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end && *end == '\0' && std::isfinite(value);
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args)
        if (a == "--help" || a == "-h") {
            std::cout << kUsage << std::endl;
            return 0;
        }
    if (args.size() < 2)
        return fail(args.empty() ? "missing KIND and OUT.obj" : "missing OUT.obj");

    std::map<std::string, Kind> all = kinds();
    const auto kindIt = all.find(args[0]);
    if (kindIt == all.end())
        return fail("unknown kind \"" + args[0] + "\"");
    Kind& kind = kindIt->second;
    const std::string& kindName = kindIt->first;
    const std::string out = args[1];
    if (out.empty() || out[0] == '-')
        return fail("missing OUT.obj");

    bool colors = false, untextured = false;
    double angle = 1.2;
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& opt = args[i];
        if (opt == "--colors") {
            colors = true;
            continue;
        }
        if (opt == "--untextured") {
            untextured = true;
            continue;
        }
        const auto intIt = kind.ints.find(opt);
        const bool isAngle = kind.hasAngle && opt == "--angle";
        if (intIt == kind.ints.end() && !isAngle)
            return fail("option " + opt + " does not apply to " + kindName);
        if (i + 1 >= args.size())
            return fail("option " + opt + " needs a value");
        const std::string& text = args[++i];
        if (isAngle) {
            if (!parseDouble(text, angle) || angle < 0.01 || angle > 3.0)
                return fail("--angle must be a number from 0.01 to 3");
            continue;
        }
        IntOption& o = intIt->second;
        long value = 0;
        if (!parseInt(text, value) || value < o.min || value > o.max)
            return fail(opt + " must be an integer from " + std::to_string(o.min) + " to " + std::to_string(o.max));
        o.value = int(value);
        o.given = true;
    }

    auto get = [&](const char* name) { return kind.ints.at(name).value; };
    meshgen::MeshData mesh;
    if (kindName == "cylinder") {
        mesh = meshgen::openCylinder(get("--segments"), get("--rings"));
    } else if (kindName == "cube") {
        mesh = meshgen::cubeNet(get("--n"));
    } else if (kindName == "grid" || kindName == "lshape" || kindName == "holes") {
        const meshgen::Outline outline = kindName == "grid" ? meshgen::Outline::Rectangle
                                         : kindName == "lshape" ? meshgen::Outline::LShape
                                                                : meshgen::Outline::WithHoles;
        mesh = meshgen::flatGrid(get("--nx"), get("--ny"), outline);
    } else if (kindName == "cap") {
        mesh = meshgen::sphericalCap(get("--rings"), angle);
    } else if (kindName == "saddle") {
        mesh = meshgen::saddle(get("--rings"));
    } else if (kindName == "mushroom") {
        mesh = meshgen::mushroom(get("--rings"), get("--segments"));
    } else if (kindName == "doublefold") {
        mesh = meshgen::doubleFoldedSheet(get("--columns"), get("--rows"));
    } else if (kindName == "spiral") {
        mesh = meshgen::spiralRamp(get("--segments"), get("--rows"));
    } else {
        const int folds = get("--folds");
        if (get("--segments") < 24 * folds)
            return fail("--segments must be at least 24 times --folds");
        mesh = meshgen::foldedStrip(get("--segments"), folds);
    }
    if (colors)
        meshgen::addColors(mesh);
    if (untextured)
        meshgen::dropUVs(mesh);

    if (!meshgen::writeOBJ(mesh, out)) {
        std::cout << "tarnwick-meshgen: cannot write " << out << std::endl;
        return 1;
    }
    std::cout << "Wrote " << out << ": " << mesh.numVertices() << " vertices, " << mesh.numTriangles()
              << " triangles, " << mesh.cones.size() << " cones" << (mesh.isTextured() ? "" : ", untextured")
              << (mesh.colors.empty() ? "" : ", with colours") << "." << std::endl;
    return 0;
}
