#include "io/palette.h"

#include <cmath>

namespace {

const Rgb8 kPalette[32] = {
    {172, 220, 178}, {209, 87, 191},  {102, 199, 76},  {138, 111, 223}, {223, 207, 56},
    {101, 134, 211}, {201, 233, 104}, {221, 75, 124},  {100, 228, 131}, {221, 86, 62},
    {97, 227, 173},  {155, 109, 159}, {150, 185, 50},  {227, 158, 204}, {85, 149, 51},
    {180, 177, 220}, {224, 147, 48},  {95, 190, 225},  {184, 118, 65},  {97, 224, 214},
    {184, 111, 115}, {71, 151, 88},   {221, 168, 145}, {84, 135, 166},  {222, 197, 110},
    {73, 141, 132},  {143, 137, 47},  {158, 211, 214}, {174, 219, 138}, {131, 134, 91},
    {90, 168, 135},  {207, 205, 162},
};

int gammaChannel(int component)
{
    const double f = std::pow(component / 255.0, 0.45454545454545453);
    const long wide = std::lround(f * 65535.0);
    return static_cast<int>(wide >> 8);
}

} // namespace

Rgb8 chartColor(size_t index)
{
    return kPalette[index % 32];
}

Rgb8 gammaCorrected(Rgb8 colour)
{
    return {gammaChannel(colour.r), gammaChannel(colour.g), gammaChannel(colour.b)};
}
