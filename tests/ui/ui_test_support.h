#pragma once

#include "model/model.h"

#include <functional>
#include <string>

namespace uitest {

// A row of `count` unit quads in 3D, each quad its own chart (two triangles,
// four UV vertices), the charts laid out side by side in UV with gaps. The
// count - 1 inner edges are seams between neighbouring charts.
Model quadStrip(int count);

// Writes a flat n x n grid (UV equal to x,y) as an OBJ file.
std::string writeGridOBJ(const std::string& path, int n);

// Runs the event loop until pred holds or timeoutMs passed; returns pred().
bool waitUntil(const std::function<bool()>& pred, int timeoutMs);

} // namespace uitest
