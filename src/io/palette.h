#pragma once

#include <cstddef>
#include <cstdint>

// 8-bit RGB colour.
struct Rgb8 {
    int r;
    int g;
    int b;
};

// Colour of chart `index` (index modulo 32 picks one of 32 palette entries).
Rgb8 chartColor(size_t index);

// The display gamma step applied to chart colours: each channel as a fraction
// of 255 raised to 1/2.2, stored with 16 bits and read back as 8 bits (the low
// byte dropped). Chart 0 gives (214, 239, 217).
Rgb8 gammaCorrected(Rgb8 colour);
