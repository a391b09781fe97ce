#include <cstring>
#include <new>
#include <string>

#include "ascii.h"
#include "code_page.h"
#include "data_packet.h"
#include "known_params.h"
#include "marks_error.h"
#include "packet_values.h"

// Reads a data packet: lenient about blanks, comments, declarations and attribute
// order, strict about the element structure.

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
    explicit TPacketParser(std::string_view text) : FText(text) {}

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
    int FOpen = 0;
    TPacketContent FContent;
    std::vector<std::string> FAttrNames;
    std::vector<TValueForm> FForms;

    // Skips blanks, declarations and comments between tags.
    void SkipMisc()
    {
        for (;;) {
            while (FPos < FText.size() && IsBlank(FText[FPos]))
                ++FPos;
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
        size_t at = FText.find(end, FPos + 2);
        if (at == std::string_view::npos)
            Mismatch();
        FPos = at + end.size();
    }

    // Reads the next start tag at this level; false when an end tag (or the end of
    // the text) comes instead, leaving the position on it.
    bool NextStartTag(TTag& tag)
    {
        SkipMisc();
        if (FPos >= FText.size())
            return false;
        if (FText[FPos] != '<')
            Mismatch();
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
        TStoredRow row;
        const size_t fieldCount = FContent.Fields.size();
        row.Values.resize(fieldCount);
        size_t expected = 0;
        for (const TAttribute& a : tag.Attributes) {
            if (a.Name == "RowState") {
                row.State = static_cast<std::uint8_t>(ReadIntegerValue(a.Value).value_or(0));
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
            row.Values[f] = ReadValue(a.Value, FForms[f]);
        }
        FContent.Rows.push_back(std::move(row));
    }

    static TFieldValue ReadValue(std::string_view raw, TValueForm form)
    {
        switch (form) {
        case TValueForm::Integer:
            if (auto v = ReadIntegerValue(raw))
                return *v;
            return {};
        case TValueForm::Float:
            if (auto v = ReadFloatValue(raw))
                return *v;
            return {};
        case TValueForm::Boolean:
            if (auto v = ReadBooleanValue(raw))
                return *v;
            return {};
        case TValueForm::Base64:
            return DecodeBase64(raw);
        case TValueForm::Text:
            return DecodeEntities(raw);
        }
        return {};
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
        const auto rows = static_cast<std::int64_t>(FContent.Rows.size());
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
        const size_t rows = FContent.Rows.size();
        std::vector<bool> replaced(rows, false);
        std::vector<bool> linked(rows, false);
        for (const TChangeLogEntry& e : FContent.ChangeLog) {
            if (e.Action != caModify || e.Previous == kNoRow)
                continue;
            if (e.Previous >= e.Row || !(FContent.Rows[e.Previous].State & rsOriginal) || replaced[e.Previous] ||
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

} // namespace

TPacketContent ReadPacket(std::string_view bytes)
{
    if (bytes.empty())
        throw EMarksError("Missing data provider or data packet");
    if (StartsWith(bytes, std::string_view("\x96\x19\xE0\xBD", 4)) || StartsWith(bytes, std::string_view("\xCD\xAB\x00\x00", 4)))
        throw EMarksError("This is a binary data packet, which this program does not read; save the table as XML.");
    try {
        size_t pos = 0;
        while (pos < bytes.size() && IsBlank(bytes[pos]))
            ++pos;
        bool utf8 = false;
        if (StartsWith(bytes.substr(pos), "\xEF\xBB\xBF")) {
            utf8 = true;
            pos += 3;
            while (pos < bytes.size() && IsBlank(bytes[pos]))
                ++pos;
        }
        if (pos >= bytes.size() || bytes[pos] != '<')
            Mismatch();
        if (!utf8 && StartsWith(bytes.substr(pos), "<?")) {
            size_t end = bytes.find("?>", pos + 2);
            if (end == std::string_view::npos)
                Mismatch();
            utf8 = DeclaresUtf8(bytes.substr(pos + 2, end - pos - 2)) && IsWellFormedUtf8(bytes);
        }
        if (utf8) {
            std::string converted = Utf8ToCp1251(bytes.substr(pos));
            return TPacketParser(converted).Parse();
        }
        return TPacketParser(bytes.substr(pos)).Parse();
    } catch (const std::bad_alloc&) {
        throw EMarksError("Insufficient memory for this operation.");
    }
}
