#pragma once

#include "model/model.h"
#include "packing/atlas.h"

// Welding passes on a model with cone singularities: measures the efficiency
// before welding, glues one seam per pass while the result stays valid and
// efficient, then packs with mirroring. Callers handle the cone-free case.
void runWelding(Model& model, Atlas& atlas);
