#pragma once

#include <cstddef>
#include <utility>

// A block of bytes that grows at its end, for the large arrays of a table's rows.
// A small block is malloc's; a large one is a mapping of its own in huge pages,
// which grows by moving its pages instead of copying them, so a block filled while
// a large file is read is never held twice. A large block given up (its table
// closed, or the block replaced by a compacted one) is kept for the next block
// that grows as large, within a bound: a table read again then writes into pages
// the process already has instead of taking fresh ones, whose first touch costs
// more than reading the file.
class TByteBlock {
public:
    TByteBlock() = default;
    ~TByteBlock() { Clear(); }
    TByteBlock(TByteBlock&& other) noexcept { *this = std::move(other); }
    TByteBlock& operator=(TByteBlock&& other) noexcept
    {
        if (this != &other) {
            Clear();
            FData = std::exchange(other.FData, nullptr);
            FSize = std::exchange(other.FSize, 0);
            FCapacity = std::exchange(other.FCapacity, 0);
        }
        return *this;
    }

    char* Data() const { return FData; }
    std::size_t Size() const { return FSize; }
    // Room for n more bytes past the end. Throws std::bad_alloc.
    void Reserve(std::size_t n);
    // Adds n bytes at the end, zeroed or left as they are, and returns them.
    char* Extend(std::size_t n);
    char* ExtendZeroed(std::size_t n);
    void Shrink(std::size_t size) { FSize = size; }
    // Gives the memory up.
    void Clear();

private:
    char* FData = nullptr;
    std::size_t FSize = 0;
    std::size_t FCapacity = 0;
};

// Lets tests make the blocks' allocations fail as they do when memory runs out, to
// see that an operation stopped by it leaves its data whole. The check, when set,
// is asked before each allocation of a block; true fails it with std::bad_alloc.
using TBlockAllocationFails = bool (*)();
void SetBlockAllocationCheck(TBlockAllocationFails fails);
