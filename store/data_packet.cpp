#include "data_packet.h"

#include <array>

#include "ascii.h"
#include "packet_values.h"

namespace {

constexpr std::array<std::string_view, 24> kTypeNames = {
    "i1", "i2", "i4", "i8", "ui1", "ui2", "ui4", "ui8", "r8", "r10", "fixed", "fixedFMT", "date",
    "time", "dateTime", "SQLdateTime", "string", "string.uni", "bin.hex", "boolean", "nested", "struct",
    "IntArray", "UIntArray",
};

} // namespace

TValueView ViewOf(const TFieldValue& value)
{
    switch (value.index()) {
    case 1: return std::get<std::int64_t>(value);
    case 2: return std::get<double>(value);
    case 3: return std::get<bool>(value);
    case 4: return std::string_view(std::get<std::string>(value));
    default: return {};
    }
}

TFieldValue ValueOf(const TValueView& view)
{
    switch (view.index()) {
    case 1: return std::get<std::int64_t>(view);
    case 2: return std::get<double>(view);
    case 3: return std::get<bool>(view);
    case 4: return std::string(std::get<std::string_view>(view));
    default: return {};
    }
}

std::string CanonicalTypeName(std::string_view typeName)
{
    if (EqualNoCase(typeName, "int"))
        return "i4";
    if (EqualNoCase(typeName, "uint"))
        return "ui4";
    for (std::string_view name : kTypeNames)
        if (EqualNoCase(typeName, name))
            return std::string(name);
    return {};
}

std::optional<std::int64_t> ParseIntegerText(std::string_view text)
{
    return ReadIntegerValue(text);
}

bool ParamIsTrue(const TPacketParam* param)
{
    return param && ReadBooleanValue(param->Value).value_or(false);
}

const TPacketParam* TStoredField::Param(std::string_view name) const
{
    for (const TPacketParam& p : Params)
        if (p.Name == name)
            return &p;
    return nullptr;
}

std::string TStoredField::Subtype() const
{
    const TPacketParam* p = Param("SUBTYPE");
    return p ? p->Value : std::string();
}

int TStoredField::Width() const
{
    const TPacketParam* p = Param("WIDTH");
    return p ? static_cast<int>(ReadIntegerValue(p->Value).value_or(0)) : 0;
}

bool TStoredField::IsAutoInc() const
{
    return TypeName == "i4" && Subtype() == "Autoinc";
}

TValueForm TStoredField::Form() const
{
    if (TypeName == "i1" || TypeName == "i2" || TypeName == "i4" || TypeName == "i8" || TypeName == "ui1" ||
        TypeName == "ui2" || TypeName == "ui4" || TypeName == "ui8")
        return TValueForm::Integer;
    if (TypeName == "r8")
        return TValueForm::Float;
    if (TypeName == "boolean")
        return TValueForm::Boolean;
    if (TypeName == "bin.hex")
        return Subtype() == "Text" ? TValueForm::Text : TValueForm::Base64;
    return TValueForm::Text;
}

std::string TStoredField::AttrName() const
{
    if (!GivenAttrName.empty())
        return GivenAttrName;
    std::string out = Name;
    for (char& c : out)
        if (std::string_view(" !#$%()*?").find(c) != std::string_view::npos)
            c = '_';
    return out;
}

std::string TStoredField::KindName() const
{
    std::string sub = Subtype();
    if (TypeName == "i1") return "Shortint";
    if (TypeName == "ui1") return "Byte";
    if (TypeName == "i2") return "SmallInt";
    if (TypeName == "ui2") return "Word";
    if (TypeName == "i4") return sub == "Autoinc" ? "AutoInc" : "Integer";
    if (TypeName == "ui4") return "LongWord";
    if (TypeName == "i8" || TypeName == "ui8") return "LargeInt";
    if (TypeName == "r8") return sub == "Money" ? "Currency" : "Float";
    if (TypeName == "r10") return "Extended";
    if (TypeName == "fixed") return "BCD";
    if (TypeName == "fixedFMT") return "FMTBcd";
    if (TypeName == "date") return "Date";
    if (TypeName == "time") return "Time";
    if (TypeName == "dateTime") return "DateTime";
    if (TypeName == "SQLdateTime") return "TimeStamp";
    if (TypeName == "string") return sub == "FixedChar" ? "FixedChar" : (sub == "Guid" ? "Guid" : "String");
    if (TypeName == "string.uni") return "WideString";
    if (TypeName == "boolean") return "Boolean";
    if (TypeName == "nested") return "DataSet";
    if (TypeName == "struct") return "ADT";
    if (TypeName == "bin.hex") {
        if (sub == "Text") return "Memo";
        if (sub == "Graphics") return "Graphic";
        if (sub == "Formatted") return "FmtMemo";
        if (sub == "WideText") return "WideMemo";
        return "Blob";
    }
    return "Unknown";
}

int TPacketContent::AutoIncField() const
{
    for (size_t i = 0; i < Fields.size(); ++i)
        if (Fields[i].IsAutoInc())
            return static_cast<int>(i);
    return -1;
}

const TPacketParam* TPacketContent::Param(std::string_view name) const
{
    for (const TPacketParam& p : Params)
        if (p.Name == name)
            return &p;
    return nullptr;
}
