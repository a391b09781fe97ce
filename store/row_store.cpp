#include "row_store.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

enum : std::uint8_t { kNull, kInteger, kFloat, kFlag, kBytes };

// A bytes slot holds the offset in the arena in its upper 40 bits and the length in
// its lower 24. Longer values store kLongLength there and their length in the 8
// bytes before them.
constexpr std::uint64_t kLongLength = 0xFFFFFF;
constexpr std::size_t kLengthPrefix = sizeof(std::uint64_t);

std::uint64_t BytesSlot(std::size_t offset, std::size_t length)
{
    return (static_cast<std::uint64_t>(offset) << 24) | std::min<std::uint64_t>(length, kLongLength);
}

bool IsLong(std::size_t length)
{
    return length >= kLongLength;
}

} // namespace

void TRowStore::TFree::operator()(char* p) const
{
    std::free(p);
}

void TRowStore::Reset(std::size_t fields)
{
    FFields = fields;
    FSlots.clear();
    FKinds.clear();
    FStates.clear();
    FArena.reset();
    FUsed = FCapacity = 0;
}

void TRowStore::Reserve(std::size_t bytes)
{
    if (bytes > FCapacity - FUsed) {
        // The arena's offsets have 40 bits.
        if (bytes > (std::size_t{1} << 40) - FUsed)
            throw std::bad_alloc();
        const std::size_t capacity = std::max({FUsed + bytes, FCapacity + FCapacity / 2, std::size_t{4096}});
        char* grown = static_cast<char*>(std::realloc(FArena.get(), capacity));
        if (!grown)
            throw std::bad_alloc();
        FArena.release();
        FArena.reset(grown);
        FCapacity = capacity;
    }
}

std::string_view TRowStore::Bytes(std::uint64_t slot) const
{
    std::size_t offset = static_cast<std::size_t>(slot >> 24);
    std::size_t length = static_cast<std::size_t>(slot & kLongLength);
    if (length == kLongLength) {
        std::uint64_t stored;
        std::memcpy(&stored, FArena.get() + offset, kLengthPrefix);
        length = static_cast<std::size_t>(stored);
        offset += kLengthPrefix;
    }
    return {FArena.get() + offset, length};
}

std::size_t TRowStore::BytesBegin(std::uint64_t slot) const
{
    return static_cast<std::size_t>(slot >> 24);
}

TValueView TRowStore::Value(std::size_t row, std::size_t field) const
{
    if (field >= FFields)
        return {};
    const std::size_t i = row * FFields + field;
    const std::uint64_t slot = FSlots[i];
    switch (FKinds[i]) {
    case kInteger: return std::bit_cast<std::int64_t>(slot);
    case kFloat: return std::bit_cast<double>(slot);
    case kFlag: return slot != 0;
    case kBytes: return Bytes(slot);
    default: return {};
    }
}

void TRowStore::PlaceBytes(std::size_t slot, std::size_t start, std::size_t length)
{
    std::size_t offset = start;
    if (IsLong(length)) {
        offset = start - kLengthPrefix;
        const std::uint64_t stored = length;
        std::memcpy(FArena.get() + offset, &stored, kLengthPrefix);
    }
    FSlots[slot] = BytesSlot(offset, length);
    FKinds[slot] = kBytes;
    FUsed = start + length;
}

void TRowStore::Put(std::size_t slot, const TValueView& value)
{
    switch (value.index()) {
    case 1: FSlots[slot] = std::bit_cast<std::uint64_t>(std::get<std::int64_t>(value)); break;
    case 2: FSlots[slot] = std::bit_cast<std::uint64_t>(std::get<double>(value)); break;
    case 3: FSlots[slot] = std::get<bool>(value) ? 1 : 0; break;
    case 4: {
        std::string_view bytes = std::get<std::string_view>(value);
        // Bytes already in the arena (a value of another row) are found again after
        // the arena grows.
        const char* base = FArena.get();
        const bool inside = base && bytes.data() >= base && bytes.data() < base + FUsed;
        const std::size_t from = inside ? static_cast<std::size_t>(bytes.data() - base) : 0;
        const std::size_t prefix = IsLong(bytes.size()) ? kLengthPrefix : 0;
        Reserve(prefix + bytes.size());
        const char* source = inside ? FArena.get() + from : bytes.data();
        const std::size_t start = FUsed + prefix;
        if (!bytes.empty())
            std::memmove(FArena.get() + start, source, bytes.size());
        PlaceBytes(slot, start, bytes.size());
        return;
    }
    default: FSlots[slot] = 0; break;
    }
    FKinds[slot] = static_cast<std::uint8_t>(value.index());
}

void TRowStore::AddRow()
{
    FSlots.resize(FSlots.size() + FFields, 0);
    FKinds.resize(FKinds.size() + FFields, kNull);
    FStates.push_back(0);
}

void TRowStore::SetValue(std::size_t field, const TValueView& value)
{
    Put((FStates.size() - 1) * FFields + field, value);
}

char* TRowStore::BytesRoom(std::size_t size)
{
    // Room for a length prefix too, in case the value is long.
    const std::size_t prefix = IsLong(size) ? kLengthPrefix : 0;
    Reserve(prefix + size);
    FRoom = FUsed + prefix;
    return FArena.get() + FRoom;
}

void TRowStore::SetBytes(std::size_t field, std::size_t length)
{
    std::size_t start = FRoom;
    // A value that turned out short needs no prefix: it moves down to the end.
    if (!IsLong(length) && start != FUsed) {
        std::memmove(FArena.get() + FUsed, FArena.get() + start, length);
        start = FUsed;
    }
    PlaceBytes((FStates.size() - 1) * FFields + field, start, length);
}

std::size_t TRowStore::AppendRow(std::uint8_t state, const std::vector<TFieldValue>& values)
{
    AddRow();
    FStates.back() = state;
    const std::size_t row = FStates.size() - 1;
    for (std::size_t f = 0; f < FFields && f < values.size(); ++f)
        Put(row * FFields + f, ViewOf(values[f]));
    return row;
}

void TRowStore::Truncate(std::size_t rows)
{
    if (rows >= FStates.size())
        return;
    std::size_t arenaEnd = FUsed;
    for (std::size_t i = rows * FFields; i < FSlots.size(); ++i)
        if (FKinds[i] == kBytes)
            arenaEnd = std::min(arenaEnd, BytesBegin(FSlots[i]));
    FUsed = arenaEnd;
    FSlots.resize(rows * FFields);
    FKinds.resize(rows * FFields);
    FStates.resize(rows);
}

bool TRowStore::SameValues(std::size_t a, std::size_t b) const
{
    for (std::size_t f = 0; f < FFields; ++f)
        if (Value(a, f) != Value(b, f))
            return false;
    return true;
}

void TRowStore::Compact(const std::vector<std::size_t>& keep)
{
    // Every row kept where it is: only the states change.
    bool same = keep.size() == FStates.size();
    for (std::size_t i = 0; same && i < keep.size(); ++i)
        same = keep[i] == i;
    if (same) {
        std::fill(FStates.begin(), FStates.end(), 0);
        return;
    }
    std::vector<std::uint64_t> slots;
    std::vector<std::uint8_t> kinds;
    slots.reserve(keep.size() * FFields);
    kinds.reserve(keep.size() * FFields);
    std::size_t live = 0;
    for (std::size_t row : keep) {
        const std::size_t first = row * FFields;
        slots.insert(slots.end(), FSlots.begin() + static_cast<std::ptrdiff_t>(first),
                     FSlots.begin() + static_cast<std::ptrdiff_t>(first + FFields));
        kinds.insert(kinds.end(), FKinds.begin() + static_cast<std::ptrdiff_t>(first),
                     FKinds.begin() + static_cast<std::ptrdiff_t>(first + FFields));
        for (std::size_t i = first; i < first + FFields; ++i)
            if (FKinds[i] == kBytes) {
                const std::size_t length = Bytes(FSlots[i]).size();
                live += length + (IsLong(length) ? kLengthPrefix : 0);
            }
    }
    // The arena is rewritten once a third of it or more belongs to dropped rows,
    // so repeated editing and saving keeps it within one and a half times what the
    // rows hold, without copying a large table's bytes on every save.
    if ((FUsed - live) * 3 >= FUsed && FUsed > 0) {
        TRowStore fresh;
        fresh.Reset(FFields);
        fresh.Reserve(live);
        fresh.FSlots = std::move(slots);
        fresh.FKinds = std::move(kinds);
        for (std::size_t i = 0; i < fresh.FSlots.size(); ++i)
            if (fresh.FKinds[i] == kBytes)
                fresh.Put(i, Bytes(fresh.FSlots[i]));
        FArena = std::move(fresh.FArena);
        FUsed = fresh.FUsed;
        FCapacity = fresh.FCapacity;
        slots = std::move(fresh.FSlots);
        kinds = std::move(fresh.FKinds);
    }
    FSlots = std::move(slots);
    FKinds = std::move(kinds);
    FStates.assign(keep.size(), 0);
}

std::vector<TStoredRow> TRowStore::StoredRows() const
{
    std::vector<TStoredRow> rows(FStates.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        rows[r].State = FStates[r];
        rows[r].Values.reserve(FFields);
        for (std::size_t f = 0; f < FFields; ++f)
            rows[r].Values.push_back(ValueOf(Value(r, f)));
    }
    return rows;
}
