// Placeholder until the implementation lands.
#include "refine/empty_spaces.h"
#include <stdexcept>

void findEmptySpaces(const ChartList&, std::vector<EmptySpace>&, double, double, UVBox*) { throw std::logic_error("not implemented"); }
