#pragma once

#include <QByteArray>
#include <QImage>

// The background tile of the 2D view: a 64 x 64 RGB checkerboard of 8 x 8
// squares, (252, 252, 252) in the top-left square alternating with
// (192, 192, 192). Stored as Base64 PNG text and decoded on demand.
namespace checker_tile {

constexpr int TileSize = 64;
constexpr int SquareSize = 8;

// The Base64 text of the PNG file.
QByteArray base64Png();

// Decodes the tile; a null image would mean the embedded text is broken.
QImage decode();

} // namespace checker_tile
