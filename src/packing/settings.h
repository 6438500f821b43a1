#pragma once

// Process-wide aspect setting of the packing cost: -1.0 leaves the atlas shape
// free, 1.0 ("--square") measures the atlas as a square.
extern double atlasAspectRatio;

// Process-wide gutter of every packed layout ("--padding P --resolution R"):
// charts stay at least this fraction (P / R) of the layout's longer side
// apart. 0 (the default) packs charts without any gap.
extern double atlasPadding;
