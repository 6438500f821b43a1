#include "io/obj_writer.h"

#include "base/file_output.h"

#include <charconv>
#include <iostream>

namespace {

void reportOpenFailure(const std::string& filename)
{
    std::cout << "Unable to open file " << filename << " for writing OBJ." << std::endl;
}

// The shortest text that reads back as the same double (0.1 stays "0.1",
// 1000.001 keeps every digit it needs), independent of the locale.
void writeNumber(std::ostream& out, double x)
{
    char buffer[32];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, x);
    out.write(buffer, r.ptr - buffer);
}

void writeVertexLines(std::ostream& out, const iuv::DoubleVector& positions,
                      const iuv::DoubleVector* colors)
{
    const size_t n = positions.size() / 3;
    const bool withColors = colors && colors->size() >= 3 * n && !colors->empty();
    for (size_t i = 0; i < n; ++i) {
        out << "v";
        for (size_t k = 0; k < 3; ++k) {
            out << " ";
            writeNumber(out, positions[3 * i + k]);
        }
        for (size_t k = 0; k < 3 && withColors; ++k) {
            out << " ";
            writeNumber(out, (*colors)[3 * i + k]);
        }
        out << "\n";
    }
}

void writeTexCoordLines(std::ostream& out, const Chart& chart)
{
    const size_t n = chart.uvCoords2D.size() / 2;
    for (size_t i = 0; i < n; ++i) {
        out << "vt ";
        writeNumber(out, chart.uvCoords2D[2 * i]);
        out << " ";
        writeNumber(out, chart.uvCoords2D[2 * i + 1]);
        out << "\n";
    }
}

void writeFaceLines(std::ostream& out, const Chart& chart)
{
    const bool withUV = !chart.triIndicesUV.empty();
    const size_t nT = chart.triIndicesPos.size() / 3;
    for (size_t t = 0; t < nT; ++t) {
        out << "f";
        for (size_t k = 0; k < 3; ++k) {
            out << " " << (static_cast<uint64_t>(chart.triIndicesPos[3 * t + k]) + 1);
            if (withUV)
                out << "/" << (static_cast<uint64_t>(chart.triIndicesUV[3 * t + k]) + 1);
        }
        out << "\n";
    }
}


} // namespace

bool writeChartOBJ(const Chart& chart, const iuv::DoubleVector& positions, const std::string& filename,
                   const iuv::DoubleVector* colors)
{
    ResultFile file(filename);
    if (!file.isOpen()) {
        reportOpenFailure(filename);
        return false;
    }
    std::ostream& out = file.stream();
    writeVertexLines(out, positions, colors);
    writeTexCoordLines(out, chart);
    out << "o object" << chart.uvCoords2D.size() << "\n";
    writeFaceLines(out, chart);
    return file.commit();
}

bool writeLayoutOBJ(const Chart& merged, const iuv::DoubleVector& positions,
                    const iuv::DoubleVector& colors, const iuv::UIntVector& coneSingularities,
                    const std::string& filename, const ObjMaterialRef* material)
{
    ResultFile file(filename);
    if (!file.isOpen()) {
        reportOpenFailure(filename);
        return false;
    }
    std::ostream& out = file.stream();
    for (uint32_t cone : coneSingularities)
        out << "c " << (static_cast<uint64_t>(cone) + 1) << " 0.0\n";
    if (material)
        out << "mtllib " << material->library << "\n";
    writeVertexLines(out, positions, colors.empty() ? nullptr : &colors);
    writeTexCoordLines(out, merged);
    if (material)
        out << "usemtl " << material->name << "\n";
    writeFaceLines(out, merged);
    return file.commit();
}

bool writeMaterialFile(const std::string& filename, const std::string& materialName,
                       const std::string& textureFile)
{
    ResultFile file(filename);
    if (!file.isOpen()) {
        std::cout << "Unable to open file " << filename << " for writing." << std::endl;
        return false;
    }
    file.stream() << "newmtl " << materialName << "\n"
        << "Ka 1 1 1\n"
        << "Kd 1 1 1\n"
        << "Ks 0 0 0\n"
        << "d 1\n"
        << "illum 1\n"
        << "map_Kd " << textureFile << "\n";
    return file.commit();
}

bool writeFailedChartOBJ(const Chart& chart, const std::string& filename)
{
    Chart dump;
    dump.triIndicesPos = chart.triIndicesUV;
    iuv::DoubleVector positions;
    positions.reserve(3 * chart.numUVVertices());
    for (size_t i = 0; i < chart.numUVVertices(); ++i) {
        positions.push_back(chart.uvCoords2D[2 * i]);
        positions.push_back(chart.uvCoords2D[2 * i + 1]);
        positions.push_back(0.0);
    }
    return writeChartOBJ(dump, positions, filename);
}
