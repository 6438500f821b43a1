#pragma once

#include "texture/rgba_image.h"

#include <cstdint>
#include <vector>

// A triangle of an output layout in texel coordinates of the output image
// (x to the right, y downwards from the top edge; texel (i, j) has its centre
// at (i + 0.5, j + 0.5)), with the input-texture UVs of its corners (v upwards,
// the input image's top row at v = 1).
struct TexelTriangle {
    double x[3];
    double y[3];
    double u[3];
    double v[3];
};

// The colour of the image at (u, v): bilinear between the four nearest texel
// centres, the image repeating beyond [0,1]^2. Channels in 0..255.
void sampleBilinear(const RgbaImage& image, double u, double v, float rgba[4]);

// Paints every texel of output whose centre lies in one of the triangles
// (edges included) with the input colour at the texel centre's mapped UV, and
// marks it in covered (one byte per texel, row-major, sized by the caller).
// Texels outside every triangle are left as they are. Runs on several threads.
void rasterizeTexture(const std::vector<TexelTriangle>& triangles, const RgbaImage& input,
                      RgbaImage& output, std::vector<uint8_t>& covered);

// Gives every texel that is not covered but lies within `gutter` texels of a
// covered one (distance between texel centres) the colour of its nearest
// covered texel; of several equally near ones, the first in row order. Other
// uncovered texels keep their colour.
void dilateGutter(RgbaImage& image, const std::vector<uint8_t>& covered, int gutter);
