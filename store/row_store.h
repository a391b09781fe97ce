#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "byte_block.h"
#include "data_packet.h"

// The stored rows of a table in compact form. Each row has its state and one
// 8-byte slot per field, with a kind byte saying what the slot holds: nothing
// (null), the bits of an integer, a float or a flag, or where the value's bytes lie
// in the table's one arena of bytes (strings, memos, blobs and uninterpreted text).
// A table of 100,000 marks is then a few large blocks instead of a vector and a few
// strings per row, read in place and freed at once.
//
// Rows are only appended; an edit stores a new version and keeps the old one for
// the change log. Bytes are appended to the arena as rows are, so the bytes of the
// rows appended last lie at its end. Compact drops the rows no longer needed and
// rewrites the arena once much of it belongs to dropped rows.
class TRowStore final : public TRowSink, public TRowSource {
public:
    // Drops every row and the arena; rows of this many fields follow.
    void Reset(std::size_t fields);
    std::size_t FieldCount() const { return FFields; }

    std::size_t RowCount() const override { return FStates.Size(); }
    std::uint8_t RowState(std::size_t row) const override { return Byte(FStates, row); }
    std::size_t BytesHeld() const override;
    void SetRowState(std::size_t row, std::uint8_t state) { FStates.Data()[row] = static_cast<char>(state); }
    // The bytes of a string, memo or blob are a view into the arena, valid until
    // the next row is appended or the store is compacted.
    TValueView Value(std::size_t row, std::size_t field) const override;
    // The TValueView alternative a value is.
    std::uint8_t Kind(std::size_t row, std::size_t field) const { return Byte(FKinds, row * FFields + field); }

    // Appends a row with the given values (one per field); returns its position.
    std::size_t AppendRow(std::uint8_t state, const std::vector<TFieldValue>& values);
    // Appends a copy of a row of another store with the same fields.
    std::size_t AppendRowFrom(const TRowStore& source, std::size_t row, std::uint8_t state);
    // Replaces one value of a stored row; a string, memo or blob is appended to the
    // arena, other values take no memory.
    void SetValueAt(std::size_t row, std::size_t field, const TValueView& value) { Put(row * FFields + field, value); }
    // Removes the rows from this position on, and their bytes at the arena's end.
    void Truncate(std::size_t rows);
    // Whether two rows hold equal values.
    bool SameValues(std::size_t a, std::size_t b) const;
    // Keeps only the rows listed, in that order, each with state 0. The kept rows
    // are copied aside first, so a store that runs out of memory stays as it was.
    void Compact(const std::vector<std::size_t>& keep);
    // The arena's bytes in use, live or not.
    std::size_t ArenaSize() const { return FArena.Size(); }

    // The rows as plain data.
    std::vector<TStoredRow> StoredRows() const;

    // Filled by the packet reader.
    void BeginRows(std::size_t fields) override { Reset(fields); }
    void AddRow() override;
    void SetState(std::uint8_t state) override { SetRowState(RowCount() - 1, state); }
    void SetValue(std::size_t field, const TValueView& value) override;
    char* BytesRoom(std::size_t size) override;
    void SetBytes(std::size_t field, std::size_t length) override;

private:
    enum : std::uint8_t { kNull, kInteger, kFloat, kFlag, kBytes };
    // A bytes slot holds the offset in the arena in its upper 40 bits and the
    // length in its lower 24. Longer values store kLongLength there and their
    // length in the 8 bytes before them.
    static constexpr std::uint64_t kLongLength = 0xFFFFFF;
    static constexpr std::size_t kLengthPrefix = sizeof(std::uint64_t);
    static bool IsLong(std::size_t length) { return length >= kLongLength; }

    std::size_t FFields = 0;
    TByteBlock FSlots;  // one std::uint64_t per row and field
    TByteBlock FKinds;  // one byte per row and field
    TByteBlock FStates; // one byte per row
    TByteBlock FArena;
    std::size_t FRoom = 0; // where the room given last begins

    static std::uint8_t Byte(const TByteBlock& block, std::size_t i)
    {
        return static_cast<std::uint8_t>(block.Data()[i]);
    }
    std::uint64_t Slot(std::size_t i) const { return reinterpret_cast<const std::uint64_t*>(FSlots.Data())[i]; }
    void SetSlot(std::size_t i, std::uint8_t kind, std::uint64_t bits);
    void Put(std::size_t slot, const TValueView& value);
    // Makes the bytes written at the arena's end, from start on, the slot's value.
    void PlaceBytes(std::size_t slot, std::size_t start, std::size_t length);
    std::string_view Bytes(std::uint64_t slot) const;
};

inline TValueView TRowStore::Value(std::size_t row, std::size_t field) const
{
    if (field >= FFields)
        return {};
    const std::size_t i = row * FFields + field;
    switch (Byte(FKinds, i)) {
    case kInteger: return static_cast<std::int64_t>(Slot(i));
    case kFloat: return std::bit_cast<double>(Slot(i));
    case kFlag: return Slot(i) != 0;
    case kBytes: return Bytes(Slot(i));
    default: return {};
    }
}

inline std::string_view TRowStore::Bytes(std::uint64_t slot) const
{
    auto offset = static_cast<std::size_t>(slot >> 24);
    auto length = static_cast<std::size_t>(slot & kLongLength);
    if (length == kLongLength) {
        std::uint64_t stored;
        std::memcpy(&stored, FArena.Data() + offset, kLengthPrefix);
        length = static_cast<std::size_t>(stored);
        offset += kLengthPrefix;
    }
    return {FArena.Data() + offset, length};
}
