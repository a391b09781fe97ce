#include "byte_block.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace {

// Blocks smaller than this are left to malloc, which reuses them well.
constexpr std::size_t kSmallestSpare = std::size_t{1} << 20;
// What the spares may hold at most, all together: the blocks of a table of about
// 100,000 marks.
constexpr std::size_t kSpareLimit = std::size_t{128} << 20;

struct TSpare {
    char* Data;
    std::size_t Capacity;
};

class TSpares {
public:
    // The largest or the smallest spare of at least this capacity, taken out; null
    // data if none.
    TSpare Take(std::size_t capacity, bool largest)
    {
        std::lock_guard lock(FLock);
        auto best = FBlocks.end();
        for (auto it = FBlocks.begin(); it != FBlocks.end(); ++it)
            if (it->Capacity >= capacity &&
                (best == FBlocks.end() || (largest ? it->Capacity > best->Capacity : it->Capacity < best->Capacity)))
                best = it;
        if (best == FBlocks.end())
            return {nullptr, 0};
        const TSpare taken = *best;
        FBlocks.erase(best);
        FBytes -= taken.Capacity;
        return taken;
    }

    // Keeps the block, making room by freeing the smallest spares; frees it when
    // it does not fit at all.
    void Give(TSpare block)
    {
        std::unique_lock lock(FLock);
        if (block.Capacity < kSmallestSpare || block.Capacity > kSpareLimit) {
            lock.unlock();
            std::free(block.Data);
            return;
        }
        std::vector<char*> dropped;
        std::sort(FBlocks.begin(), FBlocks.end(), [](const TSpare& a, const TSpare& b) { return a.Capacity > b.Capacity; });
        while (FBytes + block.Capacity > kSpareLimit) {
            dropped.push_back(FBlocks.back().Data);
            FBytes -= FBlocks.back().Capacity;
            FBlocks.pop_back();
        }
        FBlocks.push_back(block);
        FBytes += block.Capacity;
        lock.unlock();
        for (char* p : dropped)
            std::free(p);
    }

private:
    std::mutex FLock;
    std::vector<TSpare> FBlocks;
    std::size_t FBytes = 0;
};

// Never destroyed: blocks of tables that are static objects are given back at exit,
// in no set order with other static objects.
TSpares& Spares()
{
    static TSpares& spares = *new TSpares;
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
    const std::size_t capacity = std::max({FSize + n, FCapacity + FCapacity / 2, std::size_t{4096}});
    if (capacity >= kSmallestSpare) {
        // A block growing large for the first time takes the largest spare: the
        // blocks of a table grow large in the order of their final sizes, the bytes
        // first, so each finds the spare of its size in the last table. One that
        // outgrows its spare later takes the smallest that fits.
        const TSpare spare = Spares().Take(capacity, FCapacity < kSmallestSpare);
        if (spare.Data) {
            const std::size_t size = FSize;
            if (size > 0)
                std::memcpy(spare.Data, FData, size);
            Clear();
            FData = spare.Data;
            FCapacity = spare.Capacity;
            FSize = size;
            return;
        }
    }
    char* grown = static_cast<char*>(std::realloc(FData, capacity));
    if (!grown)
        throw std::bad_alloc();
    FData = grown;
    FCapacity = capacity;
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
