#pragma once
// Zero-filled memory blocks of a photo's size. Blocks from 4 MB up are mapped directly, 2 MB
// aligned, and marked for transparent huge pages: on these machines a first-touch page fault
// costs tens of microseconds, and a 24-megapixel picture's buffers take tens of thousands of
// them, more than the pixel work itself. Smaller blocks come from the ordinary heap.

#include <cstddef>
#include <utility>

// A zero-filled block of at least the given bytes; null when the memory cannot be had.
void* AllocateLargeBlock(std::size_t bytes) noexcept;
// Gives back a block from AllocateLargeBlock; bytes is the size it was asked with.
void ReleaseLargeBlock(void* block, std::size_t bytes) noexcept;

// One owned block of bytes, released when it goes.
class TLargeBlock {
  public:
    TLargeBlock() = default;
    // Throws std::bad_alloc when the memory cannot be had.
    explicit TLargeBlock(std::size_t bytes);
    TLargeBlock(TLargeBlock&& other) noexcept { *this = std::move(other); }
    TLargeBlock& operator=(TLargeBlock&& other) noexcept {
        std::swap(FData, other.FData);
        std::swap(FSize, other.FSize);
        return *this;
    }
    ~TLargeBlock() { ReleaseLargeBlock(FData, FSize); }

    unsigned char* Data() const noexcept { return static_cast<unsigned char*>(FData); }
    std::size_t Size() const noexcept { return FSize; }

  private:
    void* FData = nullptr;
    std::size_t FSize = 0;
};
