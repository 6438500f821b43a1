// Placeholder until the implementation lands.
#include "topology/overlap.h"
#include <stdexcept>

bool hasUVOverlaps(const Chart&) { throw std::logic_error("hasUVOverlaps: not implemented"); }
void splitIntoUVComponents(const Chart&, ChartList&) { throw std::logic_error("splitIntoUVComponents: not implemented"); }
