#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The statements of an OBJ text that the program uses, read strictly: "v"
// (x y z, optionally a weight or r g b), "vt" (u, optionally v and w), "f"
// (corners v, v/t, v//n or v/t/n; relative indices resolved), "o" and "g"
// (a new shape once the current one has faces) and the cone lines "c N".
// Every other statement (normals, materials, smoothing groups, lines, ...) is
// skipped without being interpreted; a material library is never opened.

// Faces with more corners than this are refused.
constexpr size_t kMaxFaceCorners = 1000;

struct ObjFace {
    size_t line = 0;        // 1-based line of the statement
    size_t shape = 0;       // shape number, from 0
    size_t firstCorner = 0; // into ObjStatements::vertexOfCorner / texcoordOfCorner
    size_t cornerCount = 0;
};

struct ObjConeLine {
    size_t line = 0;
    long long number = 0; // as written (1-based when valid)
};

struct ObjStatements {
    std::vector<double> positions; // x, y, z per vertex
    std::vector<double> colors;    // r, g, b per vertex, only when every vertex has them
    std::vector<double> texcoords; // u, v per texture coordinate
    // 0-based, checked against the vertex and texture coordinate counts.
    std::vector<uint32_t> vertexOfCorner;
    std::vector<uint32_t> texcoordOfCorner; // empty when no face gives texture coordinates
    std::vector<ObjFace> faces;
    size_t shapeCount = 0;
    std::vector<ObjConeLine> cones;
    // Faces of fewer than three corners, skipped.
    size_t shortFaces = 0;
    size_t firstShortFaceLine = 0;
};

// Why a text was refused: the reason (one of the fixed sentences) and the
// place ("Line 12: ...").
struct ObjProblem {
    std::string reason;
    std::string detail;
};

// Reads every statement of text (a UTF-8 byte-order mark at its start is
// skipped). Returns false with the problem of the first statement that cannot
// be used: a malformed number or index, a non-finite coordinate, an index
// that names no vertex or texture coordinate (zero, beyond the count, before
// the first one, or overflowing), a face that gives texture coordinates on
// some corners and not on others, or a face of more than kMaxFaceCorners
// corners.
bool readObjStatements(std::string_view text, ObjStatements& out, ObjProblem& problem);
