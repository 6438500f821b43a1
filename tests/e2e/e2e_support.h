#pragma once

#include "meshgen/meshgen.h"
#include "support/run_process.h"
#include "support/test_support.h"

#include <array>
#include <set>
#include <string>
#include <vector>

namespace e2e {

// The result families in the order a batch run writes them; every one has an OBJ, an SVG and a snapshot,
// all but "export" a statistics file.
extern const std::vector<std::string> kFamilies;

struct BatchRun {
    std::string dir; // working directory of the run, removed at exit
    testsupport::ProcessResult result;
};
// Runs "tarnwick MODEL --batchmode [extra...]" in a fresh directory.
BatchRun runBatch(const std::string& model, const std::vector<std::string>& extra = {},
                  const std::vector<std::string>& env = {});
// The path of a generated model written once per test process.
std::string generatedModel(const std::string& name, const meshgen::MeshData& mesh);

std::set<std::string> filesIn(const std::string& dir); // without "." and ".."

// An OBJ file as read by a parser of the test's own: "v x y z [r g b]", "vt", triangular "f p/t" or "f p"
// corners (0-based here), "c" cone lines, mtllib and usemtl.
struct ObjMesh {
    std::vector<double> positions, colours, uvs;
    std::vector<uint32_t> pos, uv, cones;
    std::string mtllib, usemtl;
    size_t triangles() const { return pos.size() / 3; }
    // Corner k of triangle t in 3D and in UV.
    std::array<double, 3> p(size_t tri, int k) const
    {
        const size_t i = pos[3 * tri + size_t(k)];
        return {positions[3 * i], positions[3 * i + 1], positions[3 * i + 2]};
    }
    std::array<double, 2> t(size_t tri, int k) const
    {
        const size_t i = uv[3 * tri + size_t(k)];
        return {uvs[2 * i], uvs[2 * i + 1]};
    }
    // The box of the texture coordinates: lowest u, v, highest u, v.
    std::array<double, 4> uvBox() const;
};
// Empty, after a test failure, when the file is missing or not of that form.
ObjMesh readObj(const std::string& path);

} // namespace e2e
