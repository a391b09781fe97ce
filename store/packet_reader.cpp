#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "ascii.h"
#include "code_page.h"
#include "data_packet.h"
#include "known_params.h"
#include "marks_error.h"
#include "packet_file.h"
#include "packet_values.h"

// Reads a data packet: lenient about blanks, comments, declarations and attribute
// order, strict about the element structure. The text is either all in memory or
// a file's window that is refilled as the parser moves on; a refill may move the
// window, so nothing keeps a view of a tag's text past the reading of the next tag.

namespace {

constexpr int kMaxOpenElements = 63;

[[noreturn]] void Mismatch()
{
    throw EMarksError("Mismatch in datapacket.");
}

bool IsBlank(char c)
{
    auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

struct TAttribute {
    std::string_view Name;
    std::string_view Value; // raw, still escaped
};

struct TTag {
    std::string_view Name;
    std::vector<TAttribute> Attributes;
    bool Empty = false;

    const TAttribute* Find(std::string_view name) const
    {
        for (const TAttribute& a : Attributes)
            if (a.Name == name)
                return &a;
        return nullptr;
    }
};

class TPacketParser {
public:
    TPacketParser(std::string_view text, TRowSink& rows) : FText(text), FRows(rows) {}
    TPacketParser(TPacketFile& file, size_t start, TRowSink& rows)
        : FText(file.Window()), FPos(start), FFile(&file), FRows(rows)
    {
    }

    TPacketContent Parse()
    {
        TTag tag;
        if (!NextStartTag(tag))
            Mismatch();
        bool wrapped = tag.Name == "DATAPACKET";
        if (wrapped) {
            if (tag.Empty || !NextStartTag(tag))
                throw EMarksError("Datapacket contains no meta data.");
        }
        if (tag.Name == "ROWDATA")
            throw EMarksError("Datapacket contains no meta data.");
        if (tag.Name != "METADATA")
            Mismatch();
        ReadMetadata(tag);
        if (NextStartTag(tag)) {
            if (tag.Name != "ROWDATA")
                Mismatch();
            ReadRowData(tag);
            if (NextStartTag(tag))
                Mismatch();
        }
        if (wrapped)
            ExpectEndTag("DATAPACKET");
        return std::move(FContent);
    }

private:
    std::string_view FText;
    size_t FPos = 0;
    TPacketFile* FFile = nullptr;
    TRowSink& FRows;
    int FOpen = 0;
    TPacketContent FContent;
    // The state of each row read, for the checks of the change log.
    std::vector<std::uint8_t> FStates;
    std::vector<std::string> FAttrNames;
    std::vector<TValueForm> FForms;

    // Whether n bytes from the position are in the text, refilling a file's window
    // (which drops what lies before the position) until they are or the file ends.
    bool Have(size_t n)
    {
        while (FText.size() - FPos < n) {
            if (!FFile)
                return false;
            const bool more = FFile->More(FPos);
            FText = FFile->Window();
            FPos = 0;
            if (!more)
                return false;
        }
        return true;
    }

    // Makes sure the whole tag starting at the position, up to its closing '>'
    // outside quotes, is in the text (or all that is left of it).
    void HaveTag()
    {
        if (!FFile)
            return;
        size_t offset = 1; // from FPos
        bool quoted = false;
        for (;;) {
            if (!Have(offset + 1))
                return;
            const char* from = FText.data() + FPos + offset;
            const char* end = FText.data() + FText.size();
            const char* close = static_cast<const char*>(std::memchr(from, '>', static_cast<size_t>(end - from)));
            const char* stop = close ? close : end;
            for (const char* q = from; (q = static_cast<const char*>(std::memchr(q, '"', static_cast<size_t>(stop - q))));
                 ++q)
                quoted = !quoted;
            offset = static_cast<size_t>(stop - FText.data()) - FPos + (close ? 1 : 0);
            if (close && !quoted)
                return;
        }
    }

    // Skips blanks, declarations and comments between tags.
    void SkipMisc()
    {
        for (;;) {
            while (Have(1) && IsBlank(FText[FPos]))
                ++FPos;
            Have(4);
            if (FText.compare(FPos, 2, "<?") == 0)
                SkipPast("?>");
            else if (FText.compare(FPos, 4, "<!--") == 0)
                SkipPast("-->");
            else
                return;
        }
    }

    void SkipPast(std::string_view end)
    {
        size_t from = 2; // from FPos
        for (;;) {
            size_t at = FText.find(end, FPos + from);
            if (at != std::string_view::npos) {
                FPos = at + end.size();
                return;
            }
            const size_t have = FText.size() - FPos;
            from = std::max(from, have >= end.size() ? have - end.size() + 1 : 0);
            if (!Have(have + 1))
                Mismatch();
        }
    }

    // Reads the next start tag at this level; false when an end tag (or the end of
    // the text) comes instead, leaving the position on it.
    bool NextStartTag(TTag& tag)
    {
        SkipMisc();
        if (!Have(1))
            return false;
        if (FText[FPos] != '<')
            Mismatch();
        HaveTag();
        if (FPos + 1 < FText.size() && FText[FPos + 1] == '/')
            return false;
        ++FPos;
        ReadTag(tag);
        return true;
    }

    void ReadTag(TTag& tag)
    {
        tag.Name = ReadName();
        tag.Attributes.clear();
        tag.Empty = false;
        for (;;) {
            while (FPos < FText.size() && IsBlank(FText[FPos]))
                ++FPos;
            if (FPos >= FText.size())
                Mismatch();
            char c = FText[FPos];
            if (c == '>') {
                ++FPos;
                break;
            }
            if (c == '/') {
                if (FPos + 1 >= FText.size() || FText[FPos + 1] != '>')
                    Mismatch();
                FPos += 2;
                tag.Empty = true;
                break;
            }
            TAttribute a;
            a.Name = ReadName();
            while (FPos < FText.size() && IsBlank(FText[FPos]))
                ++FPos;
            if (FPos >= FText.size() || FText[FPos] != '=')
                Mismatch();
            ++FPos;
            while (FPos < FText.size() && IsBlank(FText[FPos]))
                ++FPos;
            if (FPos >= FText.size() || FText[FPos] != '"')
                Mismatch();
            size_t close = FText.find('"', FPos + 1);
            if (close == std::string_view::npos)
                Mismatch();
            a.Value = FText.substr(FPos + 1, close - FPos - 1);
            FPos = close + 1;
            tag.Attributes.push_back(a);
        }
        if (FOpen + 1 > kMaxOpenElements)
            Mismatch();
        if (!tag.Empty)
            ++FOpen;
    }

    std::string_view ReadName()
    {
        size_t start = FPos;
        while (FPos < FText.size()) {
            char c = FText[FPos];
            if (IsBlank(c) || c == '/' || c == '>' || c == '=' || c == '<' || c == '"' || c == '\0')
                break;
            ++FPos;
        }
        if (FPos == start)
            Mismatch();
        return FText.substr(start, FPos - start);
    }

    void ExpectEndTag(std::string_view name)
    {
        SkipMisc();
        HaveTag();
        if (FText.compare(FPos, 2, "</") != 0)
            Mismatch();
        FPos += 2;
        size_t start = FPos;
        while (FPos < FText.size() && FText[FPos] != '>' && !IsBlank(FText[FPos]))
            ++FPos;
        if (FText.substr(start, FPos - start) != name)
            Mismatch();
        while (FPos < FText.size() && IsBlank(FText[FPos]))
            ++FPos;
        if (FPos >= FText.size() || FText[FPos] != '>')
            Mismatch();
        ++FPos;
        --FOpen;
    }

    // Skips the content of an element this program does not interpret (child
    // elements of a ROW), checking that it is well formed.
    void SkipContent(const TTag& tag)
    {
        if (tag.Empty)
            return;
        TTag child;
        std::string name(tag.Name);
        while (NextStartTag(child))
            SkipContent(child);
        ExpectEndTag(name);
    }

    void ReadMetadata(const TTag& metadata)
    {
        if (metadata.Empty)
            Mismatch();
        TTag tag;
        if (!NextStartTag(tag) || tag.Name != "FIELDS")
            Mismatch();
        if (!tag.Empty) {
            while (NextStartTag(tag)) {
                if (tag.Name != "FIELD")
                    Mismatch();
                ReadField(tag);
            }
            ExpectEndTag("FIELDS");
        }
        for (const TStoredField& f : FContent.Fields) {
            FAttrNames.push_back(f.AttrName());
            FForms.push_back(f.Form());
        }
        FRows.BeginRows(FContent.Fields.size());
        while (NextStartTag(tag)) {
            if (tag.Name != "PARAMS")
                Mismatch();
            ReadTableParams(tag);
        }
        ExpectEndTag("METADATA");
    }

    TPacketParam ParamFromAttribute(const TAttribute& a)
    {
        TPacketParam p;
        p.Name = DecodeEntities(a.Name);
        const char* type = KnownParamType(p.Name);
        p.Type = type ? type : "string";
        p.Value = DecodeEntities(a.Value);
        return p;
    }

    // PARAM children of a FIELD or PARAMS element, up to its end tag.
    void ReadParamChildren(const TTag& parent, std::vector<TPacketParam>& params)
    {
        if (parent.Empty)
            return;
        std::string name(parent.Name);
        TTag tag;
        while (NextStartTag(tag)) {
            if (tag.Name != "PARAM")
                Mismatch();
            TPacketParam p;
            for (const TAttribute& a : tag.Attributes) {
                if (a.Name == "Name")
                    p.Name = DecodeEntities(a.Value);
                else if (a.Name == "Value")
                    p.Value = DecodeEntities(a.Value);
                else if (a.Name == "Type")
                    p.Type = DecodeEntities(a.Value);
                else if (a.Name == "Roundtrip")
                    p.Roundtrip = EqualNoCase(a.Value, "true");
            }
            params.push_back(std::move(p));
            SkipContent(tag);
        }
        ExpectEndTag(name);
    }

    void ReadField(const TTag& tag)
    {
        TStoredField f;
        const TAttribute* attrName = tag.Find("attrname");
        const TAttribute* tagName = tag.Find("tagname");
        const TAttribute* fieldName = tag.Find("fieldname");
        if (!attrName && !tagName)
            Mismatch();
        f.Name = DecodeEntities(fieldName ? fieldName->Value : (attrName ? attrName->Value : tagName->Value));
        // Row values stand under the attrname as the file gives it, which need not be
        // the one this program would derive from the field name.
        if (attrName)
            f.GivenAttrName = DecodeEntities(attrName->Value);
        const TAttribute* type = tag.Find("fieldtype");
        if (!type)
            throw EMarksError("Invalid field type.");
        f.TypeName = CanonicalTypeName(type->Value);
        if (f.TypeName.empty())
            throw EMarksError("Invalid field type.");
        for (const TAttribute& a : tag.Attributes) {
            if (a.Name == "attrname" || a.Name == "tagname" || a.Name == "fieldname" || a.Name == "fieldtype")
                continue;
            if (a.Name == "readonly")
                f.ReadOnly = EqualNoCase(a.Value, "true");
            else if (a.Name == "required")
                f.Required = EqualNoCase(a.Value, "true");
            else if (a.Name == "hidden")
                f.Hidden = EqualNoCase(a.Value, "true");
            else if (a.Name == "linkfield")
                f.LinkField = EqualNoCase(a.Value, "true");
            else
                f.Params.push_back(ParamFromAttribute(a));
        }
        ReadParamChildren(tag, f.Params);
        FContent.Fields.push_back(std::move(f));
    }

    void ReadTableParams(const TTag& tag)
    {
        std::vector<TPacketParam> params;
        for (const TAttribute& a : tag.Attributes)
            params.push_back(ParamFromAttribute(a));
        ReadParamChildren(tag, params);
        for (TPacketParam& p : params) {
            if (p.Name == "CHANGE_LOG")
                FChangeLogText = p.Value;
            else if (p.Name == "AUTOINCVALUE")
                FContent.AutoIncValue = ReadIntegerValue(p.Value).value_or(1);
            else
                FContent.Params.push_back(std::move(p));
        }
    }

    std::string FChangeLogText;

    void ReadRowData(const TTag& rowData)
    {
        if (!rowData.Empty) {
            TTag tag;
            while (NextStartTag(tag)) {
                if (tag.Name.substr(0, 3) != "ROW")
                    Mismatch();
                ReadRow(tag);
                SkipContent(tag);
            }
            ExpectEndTag("ROWDATA");
        }
        BuildChangeLog();
    }

    void ReadRow(const TTag& tag)
    {
        FRows.AddRow();
        FStates.push_back(0);
        const size_t fieldCount = FContent.Fields.size();
        size_t expected = 0;
        for (const TAttribute& a : tag.Attributes) {
            if (a.Name == "RowState") {
                FStates.back() = static_cast<std::uint8_t>(ReadIntegerValue(a.Value).value_or(0));
                FRows.SetState(FStates.back());
                continue;
            }
            // Attributes normally come in field order: try the next field first.
            size_t f = expected;
            if (f >= fieldCount || FAttrNames[f] != a.Name) {
                f = 0;
                while (f < fieldCount && FAttrNames[f] != a.Name)
                    ++f;
                if (f == fieldCount)
                    continue;
            }
            expected = f + 1;
            ReadValue(f, a.Value);
        }
    }

    // Hands the value to the sink; bytes are decoded straight into the room it gives.
    void ReadValue(size_t field, std::string_view raw)
    {
        switch (FForms[field]) {
        case TValueForm::Integer:
            if (auto v = ReadIntegerValue(raw))
                FRows.SetValue(field, *v);
            else
                FRows.SetValue(field, {});
            return;
        case TValueForm::Float:
            if (auto v = ReadFloatValue(raw))
                FRows.SetValue(field, *v);
            else
                FRows.SetValue(field, {});
            return;
        case TValueForm::Boolean:
            if (auto v = ReadBooleanValue(raw))
                FRows.SetValue(field, *v);
            else
                FRows.SetValue(field, {});
            return;
        case TValueForm::Base64:
            FRows.SetBytes(field, DecodeBase64Into(FRows.BytesRoom(Base64DecodedBound(raw.size())), raw));
            return;
        case TValueForm::Text:
            FRows.SetBytes(field, DecodeEntitiesInto(FRows.BytesRoom(raw.size()), raw));
            return;
        }
    }

    // The change log names rows by their position in the packet; an entry that
    // names no row would leave the table inconsistent, so the packet is refused.
    void BuildChangeLog()
    {
        std::vector<std::int64_t> numbers;
        size_t i = 0;
        const std::string& t = FChangeLogText;
        while (i < t.size()) {
            while (i < t.size() && IsBlank(t[i]))
                ++i;
            size_t start = i;
            while (i < t.size() && !IsBlank(t[i]))
                ++i;
            if (i > start) {
                auto v = ReadIntegerValue(std::string_view(t).substr(start, i - start));
                if (!v)
                    Mismatch();
                numbers.push_back(*v);
            }
        }
        if (numbers.size() % 3 != 0)
            Mismatch();
        const auto rows = static_cast<std::int64_t>(FStates.size());
        for (size_t k = 0; k < numbers.size(); k += 3) {
            std::int64_t row = numbers[k], previous = numbers[k + 1], action = numbers[k + 2];
            if (row < 1 || row > rows || previous < 0 || previous > rows ||
                (action != caDelete && action != caInsert && action != caModify))
                Mismatch();
            FContent.ChangeLog.push_back({static_cast<size_t>(row - 1),
                                          previous == 0 ? kNoRow : static_cast<size_t>(previous - 1),
                                          static_cast<std::uint8_t>(action)});
        }
        CheckVersionChains();
    }

    // A modify entry links a row to its previous version, and the table follows these
    // links to find each row's latest version, both when it opens and when it merges.
    // The links must form chains in log order: the previous version is an earlier row
    // that carries the old-version state (so it is out of the view), replaced only
    // once, and not itself linked to an older version later in the log; a row becomes
    // a new version at most once. Any other log would make the merge keep a replaced
    // version or drop a visible row, so the packet is refused.
    void CheckVersionChains() const
    {
        const size_t rows = FStates.size();
        std::vector<bool> replaced(rows, false);
        std::vector<bool> linked(rows, false);
        for (const TChangeLogEntry& e : FContent.ChangeLog) {
            if (e.Action != caModify || e.Previous == kNoRow)
                continue;
            if (e.Previous >= e.Row || !(FStates[e.Previous] & rsOriginal) || replaced[e.Previous] ||
                linked[e.Row] || replaced[e.Row])
                Mismatch();
            replaced[e.Previous] = true;
            linked[e.Row] = true;
        }
    }
};

// Whether a declaration's attributes name encoding="UTF-8" (no blanks around '=').
bool DeclaresUtf8(std::string_view declaration)
{
    constexpr std::string_view kName = "encoding=\"";
    for (size_t i = 0; i + kName.size() <= declaration.size(); ++i) {
        if ((i > 0 && !IsBlank(declaration[i - 1])) || !EqualNoCase(declaration.substr(i, kName.size()), kName))
            continue;
        size_t start = i + kName.size();
        size_t end = declaration.find('"', start);
        return end != std::string_view::npos && EqualNoCase(declaration.substr(start, end - start), "UTF-8");
    }
    return false;
}

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && std::memcmp(s.data(), prefix.data(), prefix.size()) == 0;
}

// Where the packet's first tag starts in the bytes (after blanks and a UTF-8
// byte-order mark), and whether the packet is UTF-8. Throws for bytes that are no
// XML packet; complete is whether the bytes are the whole file.
size_t PacketStart(std::string_view bytes, bool complete, bool& utf8, bool& needWhole)
{
    if (bytes.empty())
        throw EMarksError("Missing data provider or data packet");
    if (StartsWith(bytes, std::string_view("\x96\x19\xE0\xBD", 4)) || StartsWith(bytes, std::string_view("\xCD\xAB\x00\x00", 4)))
        throw EMarksError("This is a binary data packet, which this program does not read; save the table as XML.");
    needWhole = false;
    size_t pos = 0;
    while (pos < bytes.size() && IsBlank(bytes[pos]))
        ++pos;
    utf8 = false;
    if (StartsWith(bytes.substr(pos), "\xEF\xBB\xBF")) {
        utf8 = true;
        pos += 3;
        while (pos < bytes.size() && IsBlank(bytes[pos]))
            ++pos;
    }
    if (!complete && (utf8 || pos + 2 >= bytes.size())) {
        needWhole = true;
        return pos;
    }
    if (pos >= bytes.size() || bytes[pos] != '<')
        Mismatch();
    if (!utf8 && StartsWith(bytes.substr(pos), "<?")) {
        size_t end = bytes.find("?>", pos + 2);
        if (end == std::string_view::npos && !complete) {
            needWhole = true;
            return pos;
        }
        if (end == std::string_view::npos)
            Mismatch();
        // A UTF-8 packet is converted as a whole.
        if (DeclaresUtf8(bytes.substr(pos + 2, end - pos - 2))) {
            if (!complete) {
                needWhole = true;
                return pos;
            }
            utf8 = IsWellFormedUtf8(bytes);
        }
    }
    return pos;
}

// Keeps the rows as plain data, for ReadPacket's content.
class TStoredRowSink final : public TRowSink {
public:
    explicit TStoredRowSink(std::vector<TStoredRow>& rows) : FRows(rows) {}

    void BeginRows(size_t fields) override { FFields = fields; }
    void AddRow() override { FRows.push_back({0, std::vector<TFieldValue>(FFields)}); }
    void SetState(std::uint8_t state) override { FRows.back().State = state; }
    void SetValue(size_t field, const TValueView& value) override { FRows.back().Values[field] = ValueOf(value); }
    // One room for every value, only ever grown, so that no value's bytes are
    // cleared before they are decoded.
    char* BytesRoom(size_t size) override
    {
        if (FRoom.size() < size)
            FRoom.resize(size);
        return FRoom.data();
    }
    void SetBytes(size_t field, size_t length) override
    {
        FRows.back().Values[field].emplace<std::string>(FRoom.data(), length);
    }

private:
    std::vector<TStoredRow>& FRows;
    size_t FFields = 0;
    std::string FRoom;
};

} // namespace

TPacketContent ReadPacket(std::string_view bytes, TRowSink& rows)
{
    bool utf8 = false, needWhole = false;
    const size_t pos = PacketStart(bytes, true, utf8, needWhole);
    try {
        if (utf8) {
            std::string converted = Utf8ToCp1251(bytes.substr(pos));
            return TPacketParser(converted, rows).Parse();
        }
        return TPacketParser(bytes.substr(pos), rows).Parse();
    } catch (const std::bad_alloc&) {
        throw EMarksError("Insufficient memory for this operation.");
    }
}

TPacketContent ReadPacket(std::string_view bytes)
{
    std::vector<TStoredRow> stored;
    TStoredRowSink sink(stored);
    TPacketContent content = ReadPacket(bytes, sink);
    content.Rows = std::move(stored);
    return content;
}

TPacketContent ReadPacket(TPacketFile& file, TRowSink& rows)
{
    try {
        bool utf8 = false, needWhole = false;
        const size_t pos = PacketStart(file.Window(), file.AtEnd(), utf8, needWhole);
        TPacketContent content;
        if (needWhole || utf8) {
            file.ReadAll();
            content = ReadPacket(file.Window(), rows);
        } else {
            content = TPacketParser(file, pos, rows).Parse();
        }
        file.CheckUnchanged();
        return content;
    } catch (const std::bad_alloc&) {
        file.CheckUnchanged();
        throw EMarksError("Insufficient memory for this operation.");
    } catch (const EMarksError&) {
        // A file changed while it was read says so, not what its mix of bytes looked like.
        file.CheckUnchanged();
        throw;
    }
}

TPacketContent ReadPacket(TPacketFile& file)
{
    std::vector<TStoredRow> stored;
    TStoredRowSink sink(stored);
    TPacketContent content = ReadPacket(file, sink);
    content.Rows = std::move(stored);
    return content;
}

TPacketContent ReadPacketFile(const std::filesystem::path& path, const TReadProgress& progress)
{
    TPacketFile file(path, progress);
    return ReadPacket(file);
}
