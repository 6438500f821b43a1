// Placeholder until the implementation lands.
#include "packing/pack.h"
#include <stdexcept>

double packCharts(ChartList&, const iuv::DoubleVector&, bool, Atlas&) { throw std::logic_error("packCharts: not implemented"); }
