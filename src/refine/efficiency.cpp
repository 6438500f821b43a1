// Placeholder until the implementation lands.
#include "refine/efficiency.h"
#include <stdexcept>

double atlasPackingEfficiency(const ChartList&) { throw std::logic_error("atlasPackingEfficiency: not implemented"); }
