// Consecutive parts of a range handed to threads started for the one step and joined before it returns.
#include "core/parallel.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "core/scene.h"

int WorkerCount(long long items, long long leastPerWorker) {
    long long cores = workerThreads > 0 ? workerThreads : static_cast<long long>(std::thread::hardware_concurrency());
    long long byItems = items / std::max(1LL, leastPerWorker);
    return static_cast<int>(std::max(1LL, std::min(cores, byItems)));
}

void ForEachPart(long long items, long long leastPerWorker, const std::function<void(int, long long, long long)>& work) {
    const int workers = WorkerCount(items, leastPerWorker);
    if (workers == 1) {
        work(0, 0, items);
        return;
    }
    auto partStart = [&](long long k) { return items / workers * k + std::min(k, items % workers); };
    std::vector<std::thread> threads;
    threads.reserve(static_cast<std::size_t>(workers - 1));
    for (int k = 1; k < workers; ++k) threads.emplace_back(work, k, partStart(k), partStart(k + 1));
    work(0, 0, partStart(1));
    for (std::thread& thread : threads) thread.join();
}
