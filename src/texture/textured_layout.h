#pragma once

#include "model/chart.h"
#include "model/model.h"
#include "texture/rgba_image.h"

#include <string>

// How a layout's texture is sized and finished.
struct TextureSettings {
    double texelScale = 1.0;  // texels per unit of surface area, relative to the input texture
    bool powerOfTwo = false;  // sides rounded up to powers of two instead of multiples of 4
    int gutter = 4;           // texels around each chart filled from its edge, at least
    double gutterFraction = 0.0; // the packing gap between charts (a fraction of the layout's
                                 // longer side); the gutter grows to cover it
};

// Largest side of an output texture, in texels.
constexpr int MaxTextureSide = 16384;

// The current layout prepared for texturing: the charts merged into one chart
// whose UVs address the resampled image (the layout's UV box stands one gutter
// width in from the image's lower left corner; a texel is equally wide in u
// and v).
struct TexturedLayout {
    Chart layout;
    RgbaImage image;
    // Texels per unit of the layout's own UVs, and the layout UV point at the
    // image's lower left corner: a layout UV (u, v) lies at texture UV
    // ((u - originU) * texelsPerUV / width, (v - originV) * texelsPerUV / height).
    double texelsPerUV = 0.0;
    double originU = 0.0;
    double originV = 0.0;
    // The size asked for by the texel density was larger than MaxTextureSide
    // and has been reduced to it.
    bool reduced = false;
};

// The input-texture UVs of the corners of triangle t of chart, found through
// the triangle's source in sourceLayout (the layout as read): the 3D corners
// are written in barycentric coordinates of the source triangle. False when
// the triangle has no known source or the source has no 3D area.
bool sourceUVsOf(const Chart& chart, size_t t, const iuv::DoubleVector& positions, const Chart& sourceLayout,
                 double u[3], double v[3]);

// Output side for a texel extent: rounded up to a multiple of 4, or with
// powerOfTwo to a power of two; at least 4.
int roundTextureSide(double texels, bool powerOfTwo);

// Resamples the input texture (painted over the model's sourceLayout) into the
// model's current chart list. The output keeps the input's texel density per
// unit of surface area, times settings.texelScale. Texels inside a triangle
// take the input colour of the same surface point (bilinear); texels within
// settings.gutter of a chart take the colour of the nearest chart texel; all
// others are transparent black. False with a reason when the model carries no
// layout to sample from.
bool makeTexturedLayout(const Model& model, const RgbaImage& input, const TextureSettings& settings,
                        TexturedLayout& out, std::string& why);
