#include "row_store.h"

#include <algorithm>

void TRowStore::Reset(std::size_t fields)
{
    FFields = fields;
    FSlots.Clear();
    FKinds.Clear();
    FStates.Clear();
    FArena.Clear();
}

void TRowStore::SetSlot(std::size_t i, std::uint8_t kind, std::uint64_t bits)
{
    std::memcpy(FSlots.Data() + i * sizeof bits, &bits, sizeof bits);
    FKinds.Data()[i] = static_cast<char>(kind);
}

void TRowStore::PlaceBytes(std::size_t slot, std::size_t start, std::size_t length)
{
    std::size_t offset = start;
    if (IsLong(length)) {
        offset = start - kLengthPrefix;
        const std::uint64_t stored = length;
        std::memcpy(FArena.Data() + offset, &stored, kLengthPrefix);
    }
    FArena.Shrink(start + length);
    SetSlot(slot, kBytes, (static_cast<std::uint64_t>(offset) << 24) | std::min<std::uint64_t>(length, kLongLength));
}

void TRowStore::Put(std::size_t slot, const TValueView& value)
{
    switch (value.index()) {
    case 1: SetSlot(slot, kInteger, static_cast<std::uint64_t>(std::get<std::int64_t>(value))); return;
    case 2: SetSlot(slot, kFloat, std::bit_cast<std::uint64_t>(std::get<double>(value))); return;
    case 3: SetSlot(slot, kFlag, std::get<bool>(value) ? 1 : 0); return;
    case 4: {
        const std::string_view bytes = std::get<std::string_view>(value);
        // Bytes already in the arena (a value of another row) are found again after
        // the arena grows.
        const char* base = FArena.Data();
        const bool inside = base && bytes.data() >= base && bytes.data() < base + FArena.Size();
        const std::size_t from = inside ? static_cast<std::size_t>(bytes.data() - base) : 0;
        const std::size_t start = FArena.Size() + (IsLong(bytes.size()) ? kLengthPrefix : 0);
        FArena.Reserve(start - FArena.Size() + bytes.size());
        if (!bytes.empty())
            std::memmove(FArena.Data() + start, inside ? FArena.Data() + from : bytes.data(), bytes.size());
        PlaceBytes(slot, start, bytes.size());
        return;
    }
    default: SetSlot(slot, kNull, 0); return;
    }
}

void TRowStore::AddRow()
{
    // All room first, so that a failure leaves the blocks alike.
    FSlots.Reserve(FFields * sizeof(std::uint64_t));
    FKinds.Reserve(FFields);
    FStates.Reserve(1);
    FSlots.ExtendZeroed(FFields * sizeof(std::uint64_t));
    FKinds.ExtendZeroed(FFields);
    FStates.ExtendZeroed(1);
}

void TRowStore::SetValue(std::size_t field, const TValueView& value)
{
    Put((RowCount() - 1) * FFields + field, value);
}

char* TRowStore::BytesRoom(std::size_t size)
{
    // Room for a length prefix too, in case the value is long.
    FRoom = FArena.Size() + (IsLong(size) ? kLengthPrefix : 0);
    FArena.Reserve(FRoom - FArena.Size() + size);
    return FArena.Data() + FRoom;
}

void TRowStore::SetBytes(std::size_t field, std::size_t length)
{
    std::size_t start = FRoom;
    // A value that turned out short needs no prefix: it moves down to the end.
    if (!IsLong(length) && start != FArena.Size()) {
        std::memmove(FArena.Data() + FArena.Size(), FArena.Data() + start, length);
        start = FArena.Size();
    }
    PlaceBytes((RowCount() - 1) * FFields + field, start, length);
}

std::size_t TRowStore::AppendRow(std::uint8_t state, const std::vector<TFieldValue>& values)
{
    AddRow();
    const std::size_t row = RowCount() - 1;
    SetRowState(row, state);
    try {
        for (std::size_t f = 0; f < FFields && f < values.size(); ++f)
            Put(row * FFields + f, ViewOf(values[f]));
    } catch (...) {
        // No memory for a value: the store stays as it was.
        Truncate(row);
        throw;
    }
    return row;
}

std::size_t TRowStore::AppendRowFrom(const TRowStore& source, std::size_t row, std::uint8_t state)
{
    AddRow();
    const std::size_t at = RowCount() - 1;
    SetRowState(at, state);
    try {
        for (std::size_t f = 0; f < FFields; ++f)
            Put(at * FFields + f, source.Value(row, f));
    } catch (...) {
        Truncate(at);
        throw;
    }
    return at;
}

void TRowStore::Truncate(std::size_t rows)
{
    if (rows >= RowCount())
        return;
    std::size_t arenaEnd = FArena.Size();
    for (std::size_t i = rows * FFields; i < FKinds.Size(); ++i)
        if (Byte(FKinds, i) == kBytes)
            arenaEnd = std::min(arenaEnd, static_cast<std::size_t>(Slot(i) >> 24));
    FArena.Shrink(arenaEnd);
    FSlots.Shrink(rows * FFields * sizeof(std::uint64_t));
    FKinds.Shrink(rows * FFields);
    FStates.Shrink(rows);
}

bool TRowStore::SameValues(std::size_t a, std::size_t b) const
{
    // As TFieldValue compares: kinds first, floats as numbers, bytes by content.
    for (std::size_t f = 0; f < FFields; ++f) {
        const std::size_t i = a * FFields + f, j = b * FFields + f;
        const std::uint8_t kind = Byte(FKinds, i);
        if (kind != Byte(FKinds, j))
            return false;
        const bool same = kind == kBytes   ? Bytes(Slot(i)) == Bytes(Slot(j))
                          : kind == kFloat ? std::bit_cast<double>(Slot(i)) == std::bit_cast<double>(Slot(j))
                          : kind == kNull  ? true
                                           : Slot(i) == Slot(j);
        if (!same)
            return false;
    }
    return true;
}

void TRowStore::Compact(const std::vector<std::size_t>& keep)
{
    // Every row kept where it is: only the states change.
    bool same = keep.size() == RowCount();
    for (std::size_t i = 0; same && i < keep.size(); ++i)
        same = keep[i] == i;
    if (same) {
        if (FStates.Size() > 0)
            std::memset(FStates.Data(), 0, FStates.Size());
        return;
    }
    TRowStore kept;
    kept.FFields = FFields;
    const std::size_t rowSlots = FFields * sizeof(std::uint64_t);
    kept.FSlots.Reserve(keep.size() * rowSlots);
    kept.FKinds.Reserve(keep.size() * FFields);
    std::size_t live = 0;
    for (std::size_t row : keep) {
        std::memcpy(kept.FSlots.Extend(rowSlots), FSlots.Data() + row * rowSlots, rowSlots);
        std::memcpy(kept.FKinds.Extend(FFields), FKinds.Data() + row * FFields, FFields);
        for (std::size_t i = row * FFields; i < (row + 1) * FFields; ++i)
            if (Byte(FKinds, i) == kBytes) {
                const std::size_t length = Bytes(Slot(i)).size();
                live += length + (IsLong(length) ? kLengthPrefix : 0);
            }
    }
    kept.FStates.ExtendZeroed(keep.size());
    // The arena is rewritten once a third of it or more belongs to dropped rows,
    // so repeated editing and saving keeps it within one and a half times what the
    // rows hold, without copying a large table's bytes on every save.
    if ((FArena.Size() - live) * 3 >= FArena.Size() && FArena.Size() > 0) {
        kept.FArena.Reserve(live);
        for (std::size_t i = 0; i < kept.FKinds.Size(); ++i)
            if (Byte(kept.FKinds, i) == kBytes)
                kept.Put(i, Bytes(kept.Slot(i)));
    } else {
        kept.FArena = std::move(FArena);
    }
    *this = std::move(kept);
}

std::size_t TRowStore::BytesHeld() const
{
    return FArena.Size();
}

std::vector<TStoredRow> TRowStore::StoredRows() const
{
    std::vector<TStoredRow> rows(RowCount());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        rows[r].State = RowState(r);
        rows[r].Values.reserve(FFields);
        for (std::size_t f = 0; f < FFields; ++f)
            rows[r].Values.push_back(ValueOf(Value(r, f)));
    }
    return rows;
}
