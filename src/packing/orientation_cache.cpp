#include "packing/orientation_cache.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>
#include <utility>

namespace {

uint64_t mix(uint64_t h, uint64_t word) { return (h ^ word) * 1099511628211ull; }

// The values' bits a word at a time.
template <typename T>
uint64_t mixAll(uint64_t h, const std::vector<T>& values)
{
    static_assert(sizeof(T) <= sizeof(uint64_t), "one value per word");
    for (const T& v : values) {
        uint64_t word = 0;
        std::memcpy(&word, &v, sizeof(T));
        h = mix(h, word);
    }
    return h;
}

template <typename T>
size_t vectorBytes(const std::vector<T>& v)
{
    return v.capacity() * sizeof(T) + sizeof(v);
}

size_t orientationBytes(const ChartOrientations& c)
{
    size_t bytes = sizeof(c) + c.orientations.capacity() * sizeof(OrientationRaster);
    for (const OrientationRaster& o : c.orientations) {
        bytes += vectorBytes(o.raster) + vectorBytes(o.chartCells) + vectorBytes(o.rowBits) +
                 vectorBytes(o.coreFirstRow) + vectorBytes(o.cores);
        for (const std::vector<uint64_t>& core : o.cores)
            bytes += vectorBytes(core);
    }
    return bytes;
}

template <typename T>
bool sameBits(const std::vector<T>& a, const std::vector<T>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

} // namespace

OrientationCache::OrientationCache(size_t byteLimit) : byteLimit_(byteLimit) {}

uint64_t OrientationCache::keyOf(const Chart& chart, double scale, int32_t margin, int32_t count)
{
    uint64_t scaleBits = 0;
    std::memcpy(&scaleBits, &scale, sizeof(scale));
    uint64_t h = mix(1469598103934665603ull, scaleBits);
    h = mix(h, (uint64_t(uint32_t(margin)) << 32) | uint32_t(count));
    return mixAll(mixAll(h, chart.uvCoords2D), chart.triIndicesUV);
}

bool OrientationCache::same(const Entry& e, const Chart& chart, double scale, int32_t margin, int32_t count)
{
    return std::memcmp(&e.scale, &scale, sizeof(scale)) == 0 && e.margin == margin && e.count == count &&
           sameBits(e.uv, chart.uvCoords2D) && sameBits(e.triangles, chart.triIndicesUV);
}

void OrientationCache::obtain(const Chart& chart, double scale, int32_t margin, int32_t count, uint32_t label,
                              ChartOrientations& out, const std::function<void(ChartOrientations&)>& build)
{
    const uint64_t key = keyOf(chart, scale, margin, count);
    if (find(key, chart, scale, margin, count, label, out))
        return;
    build(out);
    keep(key, chart, scale, margin, count, out);
}

bool OrientationCache::find(const Chart& chart, double scale, int32_t margin, int32_t count, uint32_t label,
                            ChartOrientations& out)
{
    return find(keyOf(chart, scale, margin, count), chart, scale, margin, count, label, out);
}

void OrientationCache::keep(const Chart& chart, double scale, int32_t margin, int32_t count,
                            const ChartOrientations& built)
{
    keep(keyOf(chart, scale, margin, count), chart, scale, margin, count, built);
}

bool OrientationCache::find(uint64_t key, const Chart& chart, double scale, int32_t margin, int32_t count,
                            uint32_t label, ChartOrientations& out)
{
    std::shared_ptr<const ChartOrientations> kept;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto found = entries_.find(key);
        if (found != entries_.end())
            for (Entry& e : found->second)
                if (same(e, chart, scale, margin, count)) {
                    e.lastUse = ++clock_;
                    kept = e.orientations;
                    break;
                }
        if (!kept) {
            ++misses_;
            return false;
        }
        ++hits_;
    }
    out = *kept;
    // The rasters hold the label they were built with wherever the chart is.
    if (out.label != label) {
        for (OrientationRaster& o : out.orientations)
            std::replace(o.raster.begin(), o.raster.end(), out.label, label);
        out.label = label;
    }
    return true;
}

void OrientationCache::keep(uint64_t key, const Chart& chart, double scale, int32_t margin, int32_t count,
                            const ChartOrientations& built)
{
    // Keeping is only ever a saving: without the memory for it the rasters
    // are simply built again next time.
    try {
        keepCopy(key, chart, scale, margin, count, built);
    } catch (const std::bad_alloc&) {
    }
}

void OrientationCache::keepCopy(uint64_t key, const Chart& chart, double scale, int32_t margin, int32_t count,
                                const ChartOrientations& built)
{
    Entry entry;
    entry.uv = chart.uvCoords2D;
    entry.triangles = chart.triIndicesUV;
    entry.scale = scale;
    entry.margin = margin;
    entry.count = count;
    entry.orientations = std::make_shared<const ChartOrientations>(built);
    entry.bytes = sizeof(Entry) + vectorBytes(entry.uv) + vectorBytes(entry.triangles) +
                  orientationBytes(*entry.orientations);
    if (entry.bytes > byteLimit_ / 2)
        return; // a chart this large would push out everything else
    const std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Entry>& bucket = entries_[key];
    for (const Entry& e : bucket)
        if (same(e, chart, scale, margin, count))
            return; // kept by another thread meanwhile
    entry.lastUse = ++clock_;
    bytes_ += entry.bytes;
    bucket.push_back(std::move(entry));
    if (bytes_ > byteLimit_)
        evict();
}

void OrientationCache::evict()
{
    // Every entry's last use is distinct: the oldest go until at most half
    // the limit remains.
    std::vector<std::pair<uint64_t, size_t>> uses;
    for (const auto& bucket : entries_)
        for (const Entry& e : bucket.second)
            uses.emplace_back(e.lastUse, e.bytes);
    std::sort(uses.begin(), uses.end());
    size_t kept = bytes_;
    uint64_t firstKept = 0;
    for (const auto& use : uses) {
        if (kept <= byteLimit_ / 2)
            break;
        kept -= use.second;
        firstKept = use.first + 1;
    }
    for (auto it = entries_.begin(); it != entries_.end();) {
        std::vector<Entry>& bucket = it->second;
        for (size_t i = bucket.size(); i-- > 0;)
            if (bucket[i].lastUse < firstKept) {
                bytes_ -= bucket[i].bytes;
                bucket.erase(bucket.begin() + std::ptrdiff_t(i));
            }
        it = bucket.empty() ? entries_.erase(it) : std::next(it);
    }
}

size_t OrientationCache::hits() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return hits_;
}

size_t OrientationCache::misses() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return misses_;
}

size_t OrientationCache::bytes() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
}
