#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

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
    TRowStore() = default;
    TRowStore(TRowStore&&) noexcept = default;
    TRowStore& operator=(TRowStore&&) noexcept = default;

    // Drops every row and the arena; rows of this many fields follow.
    void Reset(std::size_t fields);
    std::size_t FieldCount() const { return FFields; }

    std::size_t RowCount() const override { return FStates.size(); }
    std::uint8_t RowState(std::size_t row) const override { return FStates[row]; }
    void SetRowState(std::size_t row, std::uint8_t state) { FStates[row] = state; }
    // The bytes of a string, memo or blob are a view into the arena, valid until
    // the next row is appended or the store is compacted.
    TValueView Value(std::size_t row, std::size_t field) const override;
    std::uint8_t Kind(std::size_t row, std::size_t field) const { return FKinds[row * FFields + field]; }

    // Appends a row with the given values (one per field); returns its position.
    std::size_t AppendRow(std::uint8_t state, const std::vector<TFieldValue>& values);
    // Removes the rows from this position on, and their bytes at the arena's end.
    void Truncate(std::size_t rows);
    // Whether two rows hold equal values.
    bool SameValues(std::size_t a, std::size_t b) const;
    // Keeps only the rows listed, in that order, each with state 0.
    void Compact(const std::vector<std::size_t>& keep);
    // The arena's bytes in use, live or not.
    std::size_t ArenaSize() const { return FUsed; }

    // The rows as plain data.
    std::vector<TStoredRow> StoredRows() const;

    // Filled by the packet reader.
    void BeginRows(std::size_t fields) override { Reset(fields); }
    void AddRow() override;
    void SetState(std::uint8_t state) override { FStates.back() = state; }
    void SetValue(std::size_t field, const TValueView& value) override;
    char* BytesRoom(std::size_t size) override;
    void SetBytes(std::size_t field, std::size_t length) override;

private:
    struct TFree {
        void operator()(char* p) const;
    };

    std::size_t FFields = 0;
    std::vector<std::uint64_t> FSlots; // row * FFields + field
    std::vector<std::uint8_t> FKinds;  // the TValueView alternative each slot holds
    std::vector<std::uint8_t> FStates;
    // Grown with realloc, which moves a large block by remapping its pages instead
    // of copying them.
    std::unique_ptr<char, TFree> FArena;
    std::size_t FUsed = 0;
    std::size_t FCapacity = 0;
    std::size_t FRoom = 0; // where the room given last begins

    void Reserve(std::size_t bytes);
    void Put(std::size_t slot, const TValueView& value);
    // Stores bytes that were written at the arena's end, from start on, as the
    // slot's value.
    void PlaceBytes(std::size_t slot, std::size_t start, std::size_t length);
    std::string_view Bytes(std::uint64_t slot) const;
    // Where a slot's bytes begin in the arena, and where they end (a length prefix
    // included).
    std::size_t BytesBegin(std::uint64_t slot) const;
};
