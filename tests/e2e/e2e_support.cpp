#include "e2e_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace e2e {

const std::vector<std::string> kFamilies = {"input",  "overlap_free_levy", "overlap_free", "welded",
                                            "bl_130", "bl_150",            "bl_200",       "export"};

BatchRun runBatch(const std::string& model, const std::vector<std::string>& extra,
                  const std::vector<std::string>& env)
{
    BatchRun run;
    run.dir = testsupport::makeTempDir("tarnwick_e2e");
    std::vector<std::string> args = {model, "--batchmode"};
    args.insert(args.end(), extra.begin(), extra.end());
    run.result = testsupport::runProcess(TARNWICK_PROGRAM, args, run.dir, env, 600);
    return run;
}

std::string generatedModel(const std::string& name, const meshgen::MeshData& mesh)
{
    static const std::string dir = testsupport::makeTempDir("tarnwick_models");
    const std::string path = dir + "/" + name + ".obj";
    if (!std::ifstream(path).good())
        meshgen::writeOBJ(mesh, path);
    return path;
}

std::set<std::string> filesIn(const std::string& dir)
{
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        names.insert(entry.path().filename().string());
    return names;
}

std::array<double, 4> ObjMesh::uvBox() const
{
    std::array<double, 4> box = {1e300, 1e300, -1e300, -1e300};
    for (size_t i = 0; i < uvs.size(); ++i) {
        box[i % 2] = std::min(box[i % 2], uvs[i]);
        box[2 + i % 2] = std::max(box[2 + i % 2], uvs[i]);
    }
    return box;
}

namespace {

// One line of an OBJ file into mesh; false for a line it cannot take.
bool readObjLine(const std::string& line, ObjMesh& mesh)
{
    std::istringstream s(line);
    std::string key;
    s >> key;
    double x = 0;
    if (key == "v") {
        std::vector<double> values;
        while (s >> x)
            values.push_back(x);
        if (values.size() != 3 && values.size() != 6)
            return false;
        mesh.positions.insert(mesh.positions.end(), values.begin(), values.begin() + 3);
        mesh.colours.insert(mesh.colours.end(), values.begin() + 3, values.end());
    } else if (key == "vt") {
        double u = 0, v = 0;
        if (!(s >> u >> v))
            return false;
        mesh.uvs.insert(mesh.uvs.end(), {u, v});
    } else if (key == "c") {
        unsigned long c = 0;
        s >> c;
        mesh.cones.push_back(uint32_t(c - 1));
    } else if (key == "f") {
        std::string corner;
        int corners = 0;
        for (; s >> corner; ++corners) {
            unsigned long a = 0, b = 0;
            const int n = std::sscanf(corner.c_str(), "%lu/%lu", &a, &b);
            if (n < 1 || a == 0 || (n == 2) != !mesh.uvs.empty() || (n == 2 && b == 0))
                return false;
            mesh.pos.push_back(uint32_t(a - 1));
            if (n == 2)
                mesh.uv.push_back(uint32_t(b - 1));
        }
        return corners == 3;
    } else if (key == "mtllib") {
        s >> mesh.mtllib;
    } else if (key == "usemtl") {
        s >> mesh.usemtl;
    }
    return true;
}

} // namespace

ObjMesh readObj(const std::string& path)
{
    ObjMesh mesh;
    const std::string text = testsupport::readTextFile(path);
    std::string error = text.empty() ? "missing or empty" : "";
    std::istringstream in(text);
    for (std::string line; error.empty() && std::getline(in, line);) {
        if (!readObjLine(line, mesh))
            error = "bad line: " + line;
    }
    for (size_t i = 0; error.empty() && i < mesh.pos.size(); ++i) {
        if (mesh.pos[i] >= mesh.positions.size() / 3 || (!mesh.uv.empty() && mesh.uv[i] >= mesh.uvs.size() / 2))
            error = "face index out of range";
    }
    if (!error.empty()) {
        ADD_FAILURE() << path << ": " << error;
        mesh = ObjMesh();
    }
    return mesh;
}

} // namespace e2e
