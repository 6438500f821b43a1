// Loading and topology of a large generated mesh: parse + validation, the
// whole model load (split and pack), and the topology build.
#include "meshgen/meshgen.h"
#include "app/model_loading.h"
#include "io/obj_reader.h"
#include "topology/mesh_topology.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <unistd.h>

namespace {

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    const int n = argc > 1 ? std::atoi(argv[1]) : 91; // 12 n^2 triangles
    char dirTemplate[] = "/tmp/tarnwick_bench_loadXXXXXX";
    if (!mkdtemp(dirTemplate))
        return 1;
    const std::string path = std::string(dirTemplate) + "/cube.obj";
    meshgen::MeshData mesh = meshgen::cubeNet(n);
    meshgen::writeOBJ(mesh, path);

    std::ostringstream quiet;
    std::streambuf* saved = std::cout.rdbuf(quiet.rdbuf());

    auto t0 = std::chrono::steady_clock::now();
    ChartList charts;
    iuv::DoubleVector positions, colors;
    loadOBJ(path, charts, positions, colors);
    const double parse = secondsSince(t0);

    Model model;
    t0 = std::chrono::steady_clock::now();
    loadModel(path, false, model, nullptr);
    const double loadNoPack = secondsSince(t0);

    t0 = std::chrono::steady_clock::now();
    loadModel(path, true, model, nullptr);
    const double loadPacked = secondsSince(t0);

    MeshTopology topology;
    t0 = std::chrono::steady_clock::now();
    buildMeshTopology(model.charts, model.numVertices(), model.coneSingularities, topology);
    const double topologySeconds = secondsSince(t0);

    std::cout.rdbuf(saved);
    std::printf("triangles                   %zu\n", mesh.numTriangles());
    std::printf("parse + validate (loadOBJ)  %.3f s\n", parse);
    std::printf("load without packing        %.3f s\n", loadNoPack);
    std::printf("load with packing           %.3f s\n", loadPacked);
    std::printf("buildMeshTopology           %.3f s (%zu seams)\n", topologySeconds, topology.numSeams());
    std::remove(path.c_str());
    rmdir(dirTemplate);
    return 0;
}
