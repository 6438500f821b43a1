#pragma once

#include <functional>

// Runs work(first, last) over consecutive row ranges [first, last) of at most
// bandRows rows covering [0, rows), on as many threads as the machine offers.
// Every row is handed out once; the ranges run in no particular order.
void forEachRowBand(int rows, int bandRows, const std::function<void(int first, int last)>& work);
