// Placeholder until the implementation lands.
#include "packing/flattening.h"
#include <stdexcept>

void flattenByAngles(Chart&, const iuv::DoubleVector&, const std::vector<uint32_t>*) { throw std::logic_error("not implemented"); }
bool reconstructUVsFromAngles(const iuv::UIntVector&, const std::vector<double>&, iuv::DoubleVector&) { throw std::logic_error("not implemented"); }
std::vector<double> cornerAngles(const iuv::UIntVector&, const iuv::DoubleVector&) { throw std::logic_error("not implemented"); }
bool flattenUntexturedChart(Chart&, const iuv::DoubleVector&, FlatteningRefusal&) { throw std::logic_error("not implemented"); }
