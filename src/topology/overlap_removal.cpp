// Placeholder until the implementation lands.
#include "topology/overlap_removal.h"
#include <stdexcept>

void runTrivialOverlapRemoval(Model&, Atlas&) { throw std::logic_error("not implemented"); }
void runOverlapRemoval(Model&, Atlas&) { throw std::logic_error("not implemented"); }
