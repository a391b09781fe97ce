#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The content of an XML data packet as plain data, and the two operations that
// turn bytes into content and content into bytes. The packet is the file format of
// both table files; the map application reads and writes the same bytes.

// A parameter of the table (attribute of PARAMS) or of one field (attribute of its
// FIELD), or a PARAM child element of either. Values are kept as the text read, so
// that they are written back unchanged.
struct TPacketParam {
    std::string Name;
    std::string Type = "string";
    std::string Value;
    bool Roundtrip = false;
};

// How a field's values are written in a ROW and read back.
enum class TValueForm : std::uint8_t { Integer, Float, Boolean, Text, Base64 };

// A field descriptor as stored in the packet.
struct TStoredField {
    std::string Name;
    std::string TypeName; // the format's spelling: "i4", "string", "bin.hex", ...
    bool ReadOnly = false;
    bool Required = false;
    bool Hidden = false;
    bool LinkField = false;
    // SUBTYPE, DECIMALS, WIDTH, CALCULATED and any others, in stored order.
    std::vector<TPacketParam> Params;
    // The attrname the packet gave, when it gave one; written back as it was read.
    std::string GivenAttrName;

    const TPacketParam* Param(std::string_view name) const;
    std::string Subtype() const; // empty when the field has none
    int Width() const;
    bool IsAutoInc() const;
    TValueForm Form() const;
    // The name under which the values stand in ROW elements: the attrname the
    // packet gave, or else the field name with " !#$%()*?" replaced by "_".
    std::string AttrName() const;
    // The field kind the descriptor gives, by its type name and subtype:
    // "Integer", "AutoInc", "SmallInt", "String", "Memo", "Blob", "Float", "Boolean"...
    std::string KindName() const;
};

// A field value: null, integer, float, Boolean, or bytes (strings, memos, blobs and
// the text of types this program does not interpret).
using TFieldValue = std::variant<std::monostate, std::int64_t, double, bool, std::string>;

inline bool IsNullValue(const TFieldValue& v) { return std::holds_alternative<std::monostate>(v); }

// A field value read where it is kept: the same alternatives, with the bytes viewed
// in place instead of copied.
using TValueView = std::variant<std::monostate, std::int64_t, double, bool, std::string_view>;

TValueView ViewOf(const TFieldValue& value);
TFieldValue ValueOf(const TValueView& view);

// Row state bits.
enum : std::uint8_t {
    rsOriginal = 1,   // old version of a row that was later modified
    rsDeleted = 2,
    rsInserted = 4,
    rsModified = 8,   // new version of a modified row
    rsUnused = 32,    // no longer in use
    rsDetailUpdates = 64,
};
constexpr std::uint8_t kHiddenStates = rsOriginal | rsDeleted | rsUnused;

struct TStoredRow {
    std::uint8_t State = 0;
    std::vector<TFieldValue> Values; // one per stored field
};

enum TChangeAction : std::uint8_t { caDelete = 2, caInsert = 4, caModify = 8 };

constexpr std::size_t kNoRow = static_cast<std::size_t>(-1);

// One change log entry; rows are storage positions from 0.
struct TChangeLogEntry {
    std::size_t Row = 0;
    std::size_t Previous = kNoRow;
    std::uint8_t Action = caInsert;
    bool operator==(const TChangeLogEntry&) const = default;
};

struct TPacketContent {
    std::vector<TStoredField> Fields;
    // Table parameters other than CHANGE_LOG and AUTOINCVALUE, in the order read.
    std::vector<TPacketParam> Params;
    std::int64_t AutoIncValue = 1;
    std::vector<TStoredRow> Rows;
    std::vector<TChangeLogEntry> ChangeLog;

    // Position of the auto-increment field, or -1.
    int AutoIncField() const;
    const TPacketParam* Param(std::string_view name) const;
};

// Takes the rows of a packet as they are read, so that a table keeps them in its
// own form without a copy of each row in between.
class TRowSink {
public:
    virtual ~TRowSink() = default;
    // Before the first row: how many values each row has.
    virtual void BeginRows(std::size_t fields) = 0;
    // Starts the next row, state 0 and every value null; the calls below fill it.
    virtual void AddRow() = 0;
    virtual void SetState(std::uint8_t state) = 0;
    virtual void SetValue(std::size_t field, const TValueView& value) = 0;
    // Room for at most size bytes, into which the reader decodes a value; SetBytes
    // then makes the first length bytes of it the field's value.
    virtual char* BytesRoom(std::size_t size) = 0;
    virtual void SetBytes(std::size_t field, std::size_t length) = 0;
};

// Gives the writer the rows of a table, wherever they are kept.
class TRowSource {
public:
    virtual ~TRowSource() = default;
    virtual std::size_t RowCount() const = 0;
    virtual std::uint8_t RowState(std::size_t row) const = 0;
    // About how many bytes the string, memo and blob values hold, to size the output.
    virtual std::size_t BytesHeld() const = 0;
    // Null for a field past the row's values.
    virtual TValueView Value(std::size_t row, std::size_t field) const = 0;
};

// Builds the content from the bytes of a packet. Throws EMarksError with the
// packet message; nothing of a failed read is kept.
TPacketContent ReadPacket(std::string_view bytes);
// The same, handing the rows to a sink instead: the content returned has no Rows.
// After a failure the sink holds part of the rows and is to be dropped.
TPacketContent ReadPacket(std::string_view bytes, TRowSink& rows);

// The XML packet of the content as bytes: one line, no indentation.
std::string WriteXmlPacket(const TPacketContent& content);
// The same with the rows of a source (the content's own Rows are not written).
std::string WriteXmlPacket(const TPacketContent& content, const TRowSource& rows);

// The type name a packet uses for a type name read case-blind ("int" is "i4",
// "uint" is "ui4"); empty when the name is not one of the format.
std::string CanonicalTypeName(std::string_view typeName);

// Parameter values read as numbers and flags, with the packet's lenient rules.
std::optional<std::int64_t> ParseIntegerText(std::string_view text);
bool ParamIsTrue(const TPacketParam* param);
