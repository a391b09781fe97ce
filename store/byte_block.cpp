#include "byte_block.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace {

// Blocks smaller than this are left to malloc, which reuses them well. Larger ones
// are mapped by the block itself, in whole huge pages.
constexpr std::size_t kLarge = std::size_t{2} << 20;
// What the spares may hold at most, all together: the blocks of a table of about
// 100,000 marks.
constexpr std::size_t kSpareLimit = std::size_t{128} << 20;

struct TSpare {
    char* Data;
    std::size_t Capacity;
};

// A large block is a mapping of its own, aligned to and sized in huge pages and
// marked for them where the system gives them on request. A table read from a
// large file fills its blocks once, front to back; in 4 KB pages that is a fault
// per page, which costs a cold process more than reading the file.
char* MapLarge(std::size_t capacity)
{
    const std::size_t span = capacity + kLarge;
    void* mapped = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t begin = (start + kLarge - 1) & ~std::uintptr_t{kLarge - 1};
    if (begin > start)
        ::munmap(mapped, begin - start);
    if (const std::uintptr_t end = begin + capacity; end < start + span)
        ::munmap(reinterpret_cast<void*>(end), start + span - end);
    ::madvise(reinterpret_cast<void*>(begin), capacity, MADV_HUGEPAGE);
    return reinterpret_cast<char*>(begin);
}

// Grows a large block to a larger capacity: in place when the addresses after it
// are free, else by moving its pages, in one step, to the start of a new aligned
// range and growing it there, which copies no byte. Either way the block stays one
// mapping, which it must be to grow or move again.
char* GrowLarge(char* data, std::size_t capacity, std::size_t grown)
{
    if (::mremap(data, capacity, grown, 0) != MAP_FAILED)
        return data;
    char* moved = MapLarge(grown);
    if (::mremap(data, capacity, grown, MREMAP_MAYMOVE | MREMAP_FIXED, moved) == MAP_FAILED) {
        ::munmap(moved, grown);
        throw std::bad_alloc();
    }
    return moved;
}

void Release(TSpare block)
{
    if (block.Capacity >= kLarge)
        ::munmap(block.Data, block.Capacity);
    else
        std::free(block.Data);
}

class TSpares {
public:
    // The largest spare of at least this capacity, taken out; null data if none.
    TSpare Take(std::size_t capacity)
    {
        std::lock_guard lock(FLock);
        auto best = FBlocks.end();
        for (auto it = FBlocks.begin(); it != FBlocks.end(); ++it)
            if (it->Capacity >= capacity && (best == FBlocks.end() || it->Capacity > best->Capacity))
                best = it;
        if (best == FBlocks.end())
            return {nullptr, 0};
        const TSpare taken = *best;
        FBlocks.erase(best);
        FBytes -= taken.Capacity;
        return taken;
    }

    // Keeps the block, making room by releasing the smallest spares; releases it
    // when it does not fit at all. Allocates nothing but room in the list, and
    // releases the block when even that is refused: it runs in destructors.
    void Give(TSpare block) noexcept
    {
        std::lock_guard lock(FLock);
        if (block.Capacity < kLarge || block.Capacity > kSpareLimit) {
            Release(block);
            return;
        }
        std::sort(FBlocks.begin(), FBlocks.end(), [](const TSpare& a, const TSpare& b) { return a.Capacity > b.Capacity; });
        while (FBytes + block.Capacity > kSpareLimit) {
            Release(FBlocks.back());
            FBytes -= FBlocks.back().Capacity;
            FBlocks.pop_back();
        }
        try {
            FBlocks.push_back(block);
        } catch (const std::bad_alloc&) {
            Release(block);
            return;
        }
        FBytes += block.Capacity;
    }

private:
    std::mutex FLock;
    std::vector<TSpare> FBlocks;
    std::size_t FBytes = 0;
};

std::atomic<TBlockAllocationFails> gAllocationFails{nullptr};

// Never destroyed: blocks of tables that are static objects are given back at exit,
// in no set order with other static objects. Made in static storage, not on the
// heap: the first block given back may be freed by a destructor while memory runs
// out, where an allocation that failed would end the program.
TSpares& Spares()
{
    alignas(TSpares) static unsigned char storage[sizeof(TSpares)];
    static TSpares& spares = *new (storage) TSpares;
    return spares;
}

} // namespace

void TByteBlock::Reserve(std::size_t n)
{
    if (n <= FCapacity - FSize)
        return;
    // Offsets into a block have 40 bits.
    if (n > (std::size_t{1} << 40) - FSize)
        throw std::bad_alloc();
    if (const TBlockAllocationFails fails = gAllocationFails.load(std::memory_order_relaxed); fails && fails())
        throw std::bad_alloc();
    std::size_t capacity = std::max({FSize + n, FCapacity + FCapacity / 2, std::size_t{4096}});
    if (capacity < kLarge) {
        char* grown = static_cast<char*>(std::realloc(FData, capacity));
        if (!grown)
            throw std::bad_alloc();
        FData = grown;
        FCapacity = capacity;
        return;
    }
    capacity = (capacity + kLarge - 1) & ~(kLarge - 1);
    if (FCapacity >= kLarge) {
        FData = GrowLarge(FData, FCapacity, capacity);
        FCapacity = capacity;
        return;
    }
    // A block growing large takes the largest spare: the blocks of a table grow
    // large in the order of their final sizes, the bytes first, so each finds the
    // spare of its size in the last table.
    TSpare spare = Spares().Take(capacity);
    if (!spare.Data)
        spare = {MapLarge(capacity), capacity};
    if (FSize > 0)
        std::memcpy(spare.Data, FData, FSize);
    std::free(FData);
    FData = spare.Data;
    FCapacity = spare.Capacity;
}

char* TByteBlock::Extend(std::size_t n)
{
    Reserve(n);
    char* added = FData + FSize;
    FSize += n;
    return added;
}

char* TByteBlock::ExtendZeroed(std::size_t n)
{
    char* added = Extend(n);
    if (n > 0)
        std::memset(added, 0, n);
    return added;
}

void TByteBlock::Clear()
{
    if (FData)
        Spares().Give({FData, FCapacity});
    FData = nullptr;
    FSize = FCapacity = 0;
}

void SetBlockAllocationCheck(TBlockAllocationFails fails)
{
    gAllocationFails.store(fails, std::memory_order_relaxed);
}
