#include "base/LargeBlock.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;
#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer every block comes from malloc so that overruns are caught.
constexpr std::size_t kMappedMinimum = SIZE_MAX;
#else
constexpr std::size_t kMappedMinimum = std::size_t(4) << 20;
#endif

std::size_t MappedBytes(std::size_t bytes) {
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

}  // namespace

void* AllocateLargeBlock(std::size_t bytes) noexcept {
    if (bytes < kMappedMinimum) return std::calloc(bytes ? bytes : 1, 1);
    if (bytes > SIZE_MAX - 2 * kHugePage) return nullptr;
    const std::size_t mapped = MappedBytes(bytes);
    void* region = mmap(nullptr, mapped + kHugePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED) return nullptr;
    // Trimmed to a 2 MB aligned block so that whole huge pages can back it. Fresh mappings are
    // zero-filled by the kernel.
    auto* start = static_cast<char*>(region);
    auto* aligned = reinterpret_cast<char*>(
        (reinterpret_cast<std::uintptr_t>(start) + kHugePage - 1) & ~std::uintptr_t(kHugePage - 1));
    if (aligned > start) munmap(start, std::size_t(aligned - start));
    const std::size_t tail = std::size_t(start + mapped + kHugePage - (aligned + mapped));
    if (tail > 0) munmap(aligned + mapped, tail);
    madvise(aligned, mapped, MADV_HUGEPAGE);
    return aligned;
}

void ReleaseLargeBlock(void* block, std::size_t bytes) noexcept {
    if (!block) return;
    if (bytes < kMappedMinimum)
        std::free(block);
    else
        munmap(block, MappedBytes(bytes));
}

TLargeBlock::TLargeBlock(std::size_t bytes) : FData(AllocateLargeBlock(bytes)), FSize(bytes) {
    if (!FData) {
        FSize = 0;
        throw std::bad_alloc();
    }
}
