#pragma once

// Process-wide aspect setting of the packing cost: -1.0 leaves the atlas shape
// free, 1.0 ("--square") measures the atlas as a square.
extern double atlasAspectRatio;
