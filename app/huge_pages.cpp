// The program's own operator new: large tables (a frame of a million particles holds several of tens of
// megabytes, ten million ten times that) are offered to the kernel's transparent huge pages, where it gives them
// on request. Their first touch then takes one page fault per 2 MiB instead of one per 4 KiB: on a virtual
// machine those faults were a third of the time to open a large frame. Small blocks are left as they were, so
// that no block holds a huge page it barely uses. Left out under AddressSanitizer, whose operator new checks
// every block.
#if !defined(__SANITIZE_ADDRESS__)

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

constexpr std::uintptr_t HUGE_PAGE = std::uintptr_t{2} << 20;
constexpr std::size_t LARGE_BLOCK = std::size_t{8} << 20;

// The whole huge pages inside the block, advised; the kernel ignores the advice where it has none to give.
void AdviseHugePages(void* block, std::size_t size) {
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (start + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1), end = (start + size) & ~(HUGE_PAGE - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

void* Allocate(std::size_t size) {
    void* block = std::malloc(size != 0 ? size : 1);
    if (block && size >= LARGE_BLOCK) AdviseHugePages(block, size);
    return block;
}

// As the standard one: the new handler is called until it frees enough, or there is none.
void* AllocateOrThrow(std::size_t size) {
    for (;;) {
        if (void* block = Allocate(size)) return block;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return AllocateOrThrow(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

#endif
