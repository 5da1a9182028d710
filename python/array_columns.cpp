// Array memory kept for reuse: freed frames' arrays become the next frames' arrays.
#include "array_columns.h"

#include <cstdlib>
#include <mutex>

namespace {

struct SpareBlock {
    void* block;
    std::size_t bytes;
};

// Taken while the program is held (no GIL) and given back by numpy's deallocation (GIL held): a lock of its own.
std::mutex spareLock;
std::vector<SpareBlock> spares;  // oldest first
std::size_t spareBytes = 0;
std::vector<std::vector<double>> spareTables;  // oldest first, within a budget of their own
std::size_t spareTableBytes = 0;

}  // namespace

void* TakeArrayMemory(std::size_t bytes) {
    {
        std::lock_guard<std::mutex> held(spareLock);
        for (std::size_t k = spares.size(); k-- > 0;) {
            if (spares[k].bytes != bytes) continue;
            void* block = spares[k].block;
            spareBytes -= bytes;
            spares.erase(spares.begin() + static_cast<std::ptrdiff_t>(k));
            return block;
        }
    }
    void* block = std::malloc(bytes > 0 ? bytes : 1);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

std::vector<double> TakeSpareTable(std::size_t count) {
    std::lock_guard<std::mutex> held(spareLock);
    for (std::size_t k = spareTables.size(); k-- > 0;) {
        if (spareTables[k].size() != count) continue;
        std::vector<double> table = std::move(spareTables[k]);
        spareTableBytes -= table.capacity() * sizeof(double);
        spareTables.erase(spareTables.begin() + static_cast<std::ptrdiff_t>(k));
        return table;
    }
    return {};
}

void GiveBackTable(std::vector<double>&& table) {
    std::vector<std::vector<double>> freed;  // freed once the lock is let go
    std::lock_guard<std::mutex> held(spareLock);
    const std::size_t bytes = table.capacity() * sizeof(double);
    if (bytes > SPARE_BYTES_KEPT) return;  // table is freed by its owner
    while (spareTableBytes + bytes > SPARE_BYTES_KEPT) {
        spareTableBytes -= spareTables.front().capacity() * sizeof(double);
        freed.push_back(std::move(spareTables.front()));
        spareTables.erase(spareTables.begin());
    }
    spareTableBytes += bytes;
    spareTables.push_back(std::move(table));
}

void GiveBackArrayMemory(void* block, std::size_t bytes) {
    std::vector<void*> freed;
    {
        std::lock_guard<std::mutex> held(spareLock);
        if (bytes > SPARE_BYTES_KEPT) {
            freed.push_back(block);
        } else {
            while (spareBytes + bytes > SPARE_BYTES_KEPT) {
                freed.push_back(spares.front().block);
                spareBytes -= spares.front().bytes;
                spares.erase(spares.begin());
            }
            spares.push_back({block, bytes});
            spareBytes += bytes;
        }
    }
    for (void* old : freed) std::free(old);
}
