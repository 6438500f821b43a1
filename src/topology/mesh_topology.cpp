// Placeholder until the implementation lands.
#include "topology/mesh_topology.h"
#include <stdexcept>

void MeshTopology::clear() { *this = MeshTopology(); }
size_t MeshTopology::seamStart(size_t) const { throw std::logic_error("not implemented"); }
void buildMeshTopology(const ChartList&, size_t, const iuv::UIntVector&, MeshTopology&) { throw std::logic_error("buildMeshTopology: not implemented"); }
bool isSeamHalfedge(uint32_t, const MeshTopology&) { throw std::logic_error("not implemented"); }
