#pragma once

#include "model/model.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <string>

namespace uitest {

// A row of `count` unit quads in 3D, each quad its own chart (two triangles,
// four UV vertices), the charts laid out side by side in UV with gaps. The
// count - 1 inner edges are seams between neighbouring charts.
Model quadStrip(int count);

// Writes a flat n x n grid (UV equal to x, y, or no UVs) as an OBJ file.
std::string writeGridOBJ(const std::string& path, int n, bool textured = true);

// Runs the event loop until pred holds or timeoutMs passed; returns pred().
bool waitUntil(const std::function<bool()>& pred, int timeoutMs);

// Answers the next modal dialog once it shows: a file dialog chooses `file`
// (an empty name cancels it); any other box is closed, its title and text
// appended to *shown.
void answerNextDialog(const QString& file, QStringList* shown = nullptr);

} // namespace uitest
