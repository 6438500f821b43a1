// Placeholder until the implementation lands.
#include "packing/compaction.h"
#include <stdexcept>

double compactCharts(ChartList&) { throw std::logic_error("not implemented"); }
