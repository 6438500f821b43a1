// Placeholder until the implementation lands.
#include "refine/refinement.h"
#include <stdexcept>

void refineAtlas(Model&, double, double&, Atlas&, const RefinementHooks&) { throw std::logic_error("refineAtlas: not implemented"); }
