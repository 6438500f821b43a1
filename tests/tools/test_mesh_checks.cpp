// The structural checks themselves must notice broken meshes, or the
// generator tests would pass vacuously.
#include "mesh_checks.h"

#include <gtest/gtest.h>

using meshgen::MeshData;

TEST(MeshChecks, NoticeBrokenMeshes)
{
    const MeshData good = meshgen::flatGrid(3, 3, meshgen::Outline::Rectangle);
    ASSERT_TRUE(meshchecks::basicProblems(good).empty());
    ASSERT_TRUE(meshchecks::orientationProblems(good).empty());

    MeshData flipped = good;
    std::swap(flipped.uvIndices[4], flipped.uvIndices[5]);
    EXPECT_FALSE(meshchecks::orientationProblems(flipped).empty());

    MeshData repeated = good;
    repeated.posIndices[1] = repeated.posIndices[0];
    EXPECT_FALSE(meshchecks::basicProblems(repeated).empty());

    MeshData outOfRange = good;
    outOfRange.uvIndices.back() = 1000;
    EXPECT_FALSE(meshchecks::basicProblems(outOfRange).empty());

    MeshData unused = good;
    unused.positions.insert(unused.positions.end(), {5.0, 5.0, 5.0});
    EXPECT_FALSE(meshchecks::basicProblems(unused).empty());

    MeshData flat = good; // all of a triangle's corners on one line
    flat.positions[3 * flat.posIndices[0] + 0] = flat.positions[3 * flat.posIndices[1] + 0];
    flat.positions[3 * flat.posIndices[2] + 0] = flat.positions[3 * flat.posIndices[1] + 0];
    EXPECT_FALSE(meshchecks::basicProblems(flat).empty());

    // Two copies of a triangle: a directed edge used twice.
    MeshData doubled = good;
    doubled.posIndices.insert(doubled.posIndices.end(), good.posIndices.begin(), good.posIndices.begin() + 3);
    doubled.uvIndices.insert(doubled.uvIndices.end(), good.uvIndices.begin(), good.uvIndices.begin() + 3);
    EXPECT_FALSE(meshchecks::manifoldProblems(doubled).empty());

    // Two squares touching at one corner: a vertex with two fans.
    MeshData bowtie;
    bowtie.positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 2, 1, 0, 2, 2, 0, 1, 2, 0};
    bowtie.posIndices = {0, 1, 2, 0, 2, 3, 2, 4, 5, 2, 5, 6};
    EXPECT_FALSE(meshchecks::manifoldProblems(bowtie).empty());

    // A UV boundary that crosses itself, and two UV islands.
    MeshData crossing = good;
    crossing.uvs[2 * crossing.uvIndices[0]] = 2.0;
    EXPECT_TRUE(meshchecks::uvBoundaryCrossesItself(crossing));
    EXPECT_FALSE(meshchecks::uvBoundaryCrossesItself(good));
    MeshData split = good;
    for (int i = 0; i < 3; ++i) { // the first triangle on UV vertices of its own
        const uint32_t old = split.uvIndices[i];
        split.uvIndices[i] = uint32_t(split.numUVVertices());
        split.uvs.insert(split.uvs.end(), {split.uvs[2 * old], split.uvs[2 * old + 1]});
    }
    EXPECT_EQ(meshchecks::topology(good).uvComponents, 1u);
    EXPECT_EQ(meshchecks::topology(split).uvComponents, 2u);
}
