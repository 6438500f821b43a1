// Placeholder until the implementation lands.
#include "topology/halfedge.h"
#include <stdexcept>

void HalfedgeMesh::clear() { *this = HalfedgeMesh(); }
std::vector<CornerMatch> matchEdges(const iuv::UIntVector&, size_t) { throw std::logic_error("matchEdges: not implemented"); }
bool buildHalfedgeMesh(const iuv::UIntVector&, size_t, HalfedgeMesh&) { throw std::logic_error("buildHalfedgeMesh: not implemented"); }
