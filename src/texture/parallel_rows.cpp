#include "texture/parallel_rows.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

void forEachRowBand(int rows, int bandRows, const std::function<void(int first, int last)>& work)
{
    if (rows <= 0)
        return;
    bandRows = std::max(1, bandRows);
    const int bands = (rows + bandRows - 1) / bandRows;
    std::atomic<int> next{0};
    auto worker = [&]() {
        for (int b = next++; b < bands; b = next++)
            work(b * bandRows, std::min(rows, (b + 1) * bandRows));
    };
    const unsigned hardware = std::max(1u, std::thread::hardware_concurrency());
    const int threads = std::min<int>(bands, int(std::min(hardware, 16u)));
    std::vector<std::thread> pool;
    try {
        for (int i = 1; i < threads; ++i)
            pool.emplace_back(worker);
    } catch (const std::system_error&) {
        // No more threads to be had: the ones started and this one share the bands.
    }
    worker();
    for (std::thread& t : pool)
        t.join();
}
