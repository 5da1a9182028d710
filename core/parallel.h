// Work split over the machine's cores with plain threads: each part a run of consecutive items, so that a
// result kept in item order needs no merging.
#pragma once

#include <functional>

int WorkerCount(long long items, long long leastPerWorker);  // threads for `items`: at most workerThreads (0: one
                                                             // per core), each with at least leastPerWorker items
// Calls work(k, begin, end) on the k-th of consecutive runs 0, 1, ... of [0, items), one per worker, the calling
// thread doing run 0; returns when all are done. With one worker it is work(0, 0, items) on this thread.
void ForEachPart(long long items, long long leastPerWorker, const std::function<void(int, long long, long long)>& work);
