#pragma once

#include "model/chart.h"

#include <vector>

// An axis-aligned UV box of empty space.
struct EmptySpace {
    double minU;
    double minV;
    double maxU;
    double maxV;

    double width() const { return maxU - minU; }
    double height() const { return maxV - minV; }
    double area() const { return width() * height(); }
};

// Orders the boxes by area, largest first (equal areas keep their order),
// drops every box whose intersection with an earlier kept box covers more than
// a tenth of that earlier box's area, and returns the first `limit` survivors.
std::vector<EmptySpace> selectEmptySpaces(std::vector<EmptySpace> boxes, size_t limit);

// Appends at most eight maximal empty rectangles around the given charts,
// largest first. boxOut, when given, is widened by every chart's UV box.
void findEmptySpaces(const ChartList& charts, std::vector<EmptySpace>& spaces, double minSide,
                     double resolution, UVBox* boxOut);
