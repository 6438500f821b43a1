#pragma once

// A quick necessary test of whether a raster fits anywhere in a block of
// positions: only its two fullest rows are tested, against the occupancy
// bits, 2^L positions of a row at once. Used by the placement search on the
// blocks that it would otherwise split into their children.

#include "packing/atlas.h"

#include <cstdint>

class RowProbe {
public:
    // Blocks of up to 2^MaxLevel x 2^MaxLevel positions are tested.
    static constexpr int MaxLevel = 4;

    // The probe of the raster: its two rows with the most cells (the first
    // of equals), up to MaxRuns runs of cells each. None (every block passes)
    // for a raster wider than 64 - 2^MaxLevel cells.
    explicit RowProbe(const OrientationRaster& o)
        : height_(static_cast<int32_t>(o.h))
    {
        if (o.rowWords != 1 || o.w + (1u << MaxLevel) > 64)
            return;
        int32_t picked = -1;
        for (int p = 0; p < 2; ++p) {
            int most = 0;
            int32_t row = -1;
            for (int32_t r = 0; r < height_; ++r) {
                const int n = __builtin_popcountll(o.rowBits[size_t(r)]);
                if (r != picked && n > most) {
                    most = n;
                    row = r;
                }
            }
            if (row < 0)
                break;
            picked = row;
            rows_[count_++] = runsOf(row, o.rowBits[size_t(row)]);
        }
    }

    // False when no position (px + dx, py + dy), 0 <= dx, dy < 2^level
    // (level <= MaxLevel), with the raster inside the atlas's rows, has the
    // probe rows' cells free: then the raster fits at none of them. Columns
    // past the atlas read as free. px lies inside the atlas.
    bool anyFits(const Atlas& atlas, int32_t px, int32_t py, int level) const
    {
        if (count_ == 0)
            return true;
        const int32_t f = int32_t(1) << level;
        const uint64_t positions = (uint64_t(1) << f) - 1;
        const int64_t h0 = atlas.heights[0];
        for (int32_t dy = 0; dy < f && int64_t(py) + dy + height_ <= h0; ++dy) {
            uint64_t fits = positions & freeAt(rows_[0], atlas, px, py + dy);
            if (fits != 0 && count_ > 1)
                fits &= freeAt(rows_[1], atlas, px, py + dy);
            if (fits != 0)
                return true;
        }
        return false;
    }

private:
    static constexpr int MaxRuns = 4;
    struct Row {
        int32_t row = 0;
        int runs = 0;
        int start[MaxRuns] = {};
        int length[MaxRuns] = {};
    };

    static Row runsOf(int32_t row, uint64_t bits)
    {
        Row r;
        r.row = row;
        while (bits != 0 && r.runs < MaxRuns) {
            const int start = __builtin_ctzll(bits);
            const int length = __builtin_ctzll(~(bits >> start)); // the raster is narrower than 64
            r.start[r.runs] = start;
            r.length[r.runs] = length;
            ++r.runs;
            bits &= ~uint64_t(0) << (start + length);
        }
        return r;
    }

    // Bit d (d < 2^MaxLevel): the row's runs are free with the raster at
    // column px + d and its first row at row y.
    static uint64_t freeAt(const Row& r, const Atlas& atlas, int32_t px, int32_t y)
    {
        const uint64_t free = ~atlas.occupancyFrom(px, y + r.row);
        uint64_t fits = ~uint64_t(0);
        for (int i = 0; i < r.runs; ++i) {
            // Bit d of `run`: `covered` cells from px + d + start on are
            // free; doubling, then one shift of the remainder, which
            // overlaps what is covered.
            uint64_t run = free >> r.start[i];
            int covered = 1;
            while (2 * covered <= r.length[i]) {
                run &= run >> covered;
                covered *= 2;
            }
            if (covered < r.length[i])
                run &= run >> (r.length[i] - covered);
            fits &= run;
        }
        return fits;
    }

    int32_t height_;
    int count_ = 0;
    Row rows_[2];
};
