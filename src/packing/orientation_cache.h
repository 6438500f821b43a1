#pragma once

#include "model/chart.h"
#include "packing/atlas.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

// The orientation rasters of charts, kept from one packing to the next: a
// chart whose UVs and triangles, packing scale, margin and orientation count
// are all unchanged gets the rasters it had, not new ones. Charts are
// compared exactly (bit for bit), so a kept raster is always the one that
// building it again would give. Safe to use from several threads at once.
class OrientationCache {
public:
    // Keeps at most about byteLimit bytes; the least recently used charts
    // go first.
    explicit OrientationCache(size_t byteLimit = size_t(128) << 20);

    // The rasters of `chart` for these settings and `label` into `out`
    // (whose memory is reused): those kept, or else build(out)'s, which are
    // then kept.
    void obtain(const Chart& chart, double scale, int32_t margin, int32_t count, uint32_t label,
                ChartOrientations& out, const std::function<void(ChartOrientations&)>& build);
    // The kept rasters of `chart` for these settings, as built for `label`,
    // into `out` (placement unset); false when none are kept.
    bool find(const Chart& chart, double scale, int32_t margin, int32_t count, uint32_t label,
              ChartOrientations& out);
    // Keeps the rasters just built for `chart` (unplaced).
    void keep(const Chart& chart, double scale, int32_t margin, int32_t count,
              const ChartOrientations& built);

    size_t hits() const;
    size_t misses() const;
    size_t bytes() const;

private:
    struct Entry {
        iuv::DoubleVector uv;
        iuv::UIntVector triangles;
        double scale = 0.0;
        int32_t margin = 0;
        int32_t count = 0;
        // Shared, so that a copy can be taken outside the lock.
        std::shared_ptr<const ChartOrientations> orientations;
        size_t bytes = 0;
        uint64_t lastUse = 0;
    };

    bool find(uint64_t key, const Chart& chart, double scale, int32_t margin, int32_t count, uint32_t label,
              ChartOrientations& out);
    void keep(uint64_t key, const Chart& chart, double scale, int32_t margin, int32_t count,
              const ChartOrientations& built);
    void keepCopy(uint64_t key, const Chart& chart, double scale, int32_t margin, int32_t count,
                  const ChartOrientations& built);
    static uint64_t keyOf(const Chart& chart, double scale, int32_t margin, int32_t count);
    static bool same(const Entry& e, const Chart& chart, double scale, int32_t margin, int32_t count);
    // Drops the least recently used entries until at most half the limit is kept.
    void evict();

    const size_t byteLimit_;
    mutable std::mutex mutex_;
    std::unordered_map<uint64_t, std::vector<Entry>> entries_;
    size_t bytes_ = 0;
    uint64_t clock_ = 0;
    size_t hits_ = 0;
    size_t misses_ = 0;
};
