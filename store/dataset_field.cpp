#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "client_dataset.h"
#include "code_page.h"
#include "marks_error.h"

// Field objects: reading and assigning the values of the current row, with the
// text conversions of the grids.

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// An integer in the platform's syntax: leading blanks, an optional sign, decimal
// digits, or a hexadecimal form after "$" (or "0x"); nothing may follow.
std::optional<std::int64_t> ParseIntegerStrict(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    std::uint64_t value = 0;
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(first, last, value, base);
    if (ec != std::errc() || ptr != last || first == last)
        return std::nullopt;
    if (value > std::uint64_t{1} << 31 || (!negative && value > 0x7FFFFFFF))
        return std::nullopt;
    return negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
}

// A decimal number with "." as separator and an optional exponent, blanks around it.
std::optional<double> ParseFloatStrict(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    size_t i = text.empty() || text[0] != '-' ? 0 : 1;
    size_t digits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
        ++i, ++digits;
    if (i < text.size() && text[i] == '.')
        for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
            ++digits;
    if (digits == 0)
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        size_t start = i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i;
        if (i == start)
            return std::nullopt;
    }
    if (i != text.size())
        return std::nullopt;
    double value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

// Fifteen significant digits, exponent written as "E" with its sign only when negative.
std::string FloatText(double value)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    std::string text(buf, r.ptr);
    size_t e = text.find('e');
    if (e == std::string::npos)
        return text;
    std::string mantissa = text.substr(0, e);
    std::string exponent = text.substr(e + 1);
    bool negative = exponent[0] == '-';
    exponent.erase(0, 1);
    exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
    return mantissa + "E" + (negative ? "-" : "") + exponent;
}

std::string Quoted(std::string_view text)
{
    return "'" + Cp1251ToUtf8(text) + "'";
}

bool IsTextClass(TFieldClass c)
{
    return c == TFieldClass::String || c == TFieldClass::Memo || c == TFieldClass::Blob;
}

std::string TextOf(const TValueView& v)
{
    switch (v.index()) {
    case 1: return std::to_string(std::get<std::int64_t>(v));
    case 2: return FloatText(std::get<double>(v));
    case 3: return std::get<bool>(v) ? "True" : "False";
    case 4: return std::string(std::get<std::string_view>(v));
    default: return {};
    }
}

} // namespace

TField::TField(TClientDataSet& dataSet, TFieldDecl decl, int index)
    : FDataSet(dataSet), FDecl(std::move(decl)), FIndex(index), FSize(FDecl.Size)
{
}

TValueView TField::Value() const
{
    if (FStored < 0 || !FDataSet.IsOpen())
        return {};
    if (FDataSet.FState == TTableState::Edit || FDataSet.FState == TTableState::Insert)
        return ViewOf(FDataSet.FBuffer[static_cast<size_t>(FStored)]);
    const size_t row = FDataSet.CurrentRow();
    return row != kNoRow ? FDataSet.FRows.Value(row, static_cast<size_t>(FStored)) : TValueView();
}

bool TField::IsNull() const
{
    return Value().index() == 0;
}

TFieldValue TField::ValueAt(size_t position) const
{
    if (FStored < 0 || !FDataSet.IsOpen())
        return {};
    if (FDataSet.FState == TTableState::Edit && position + 1 == FDataSet.RowNumber())
        return FDataSet.FBuffer[static_cast<size_t>(FStored)];
    const size_t row = FDataSet.RowAt(position);
    return row != kNoRow ? ValueOf(FDataSet.FRows.Value(row, static_cast<size_t>(FStored))) : TFieldValue();
}

std::string TField::AsText() const
{
    return TextOf(Value());
}

std::string TField::TextAt(size_t position) const
{
    if (FStored < 0 || !FDataSet.IsOpen())
        return {};
    if (FDataSet.FState == TTableState::Edit && position + 1 == FDataSet.RowNumber())
        return TextOf(ViewOf(FDataSet.FBuffer[static_cast<size_t>(FStored)]));
    const size_t row = FDataSet.RowAt(position);
    return row != kNoRow ? TextOf(FDataSet.FRows.Value(row, static_cast<size_t>(FStored))) : std::string();
}

std::int64_t TField::AsInt() const
{
    const TValueView v = Value();
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return *i;
    if (const auto* d = std::get_if<double>(&v))
        return static_cast<std::int64_t>(std::llround(*d));
    if (const auto* b = std::get_if<bool>(&v))
        return *b ? 1 : 0;
    return 0;
}

bool TField::AsFlag() const
{
    const TValueView v = Value();
    const auto* b = std::get_if<bool>(&v);
    return b && *b;
}

TFieldValue TField::AsValue() const
{
    const TValueView v = Value();
    if ((Class() == TFieldClass::Memo || Class() == TFieldClass::Blob) && v.index() == 0)
        return std::string();
    return ValueOf(v);
}

void TField::WriteBlobTo(std::string& out) const
{
    out.append(AsBytes());
}

std::string_view TField::AsBytes() const
{
    const TValueView v = Value();
    const auto* s = std::get_if<std::string_view>(&v);
    return s ? *s : std::string_view();
}

void TField::SetNull()
{
    Assign(TFieldValue{});
}

void TField::Assign(TFieldValue value)
{
    if (FDataSet.FState != TTableState::Edit && FDataSet.FState != TTableState::Insert)
        FDataSet.TableError("Dataset not in edit or insert mode");
    if (ReadOnly())
        throw EMarksError("Field '" + FieldName() + "' cannot be modified");
    FDataSet.FBuffer[static_cast<size_t>(FStored)] = std::move(value);
    FDataSet.FModified = true;
    FDataSet.Changed();
}

void TField::SetAsText(std::string_view text)
{
    switch (Class()) {
    case TFieldClass::String:
        Assign(std::string(text.substr(0, FSize > 0 ? static_cast<size_t>(FSize) : text.size())));
        return;
    case TFieldClass::Memo:
    case TFieldClass::Blob:
        Assign(text.empty() ? TFieldValue{} : TFieldValue(std::string(text)));
        return;
    case TFieldClass::AutoInc:
    case TFieldClass::Integer:
    case TFieldClass::Smallint: {
        if (text.empty()) {
            Assign({});
            return;
        }
        auto value = ParseIntegerStrict(text);
        if (!value)
            throw EMarksError(Quoted(text) + " is not a valid integer value for field '" + FieldName() + "'");
        SetAsValue(*value);
        return;
    }
    case TFieldClass::Boolean: {
        if (text.empty()) {
            Assign({});
            return;
        }
        auto matches = [&](std::string_view word) {
            if (text.size() > word.size())
                return false;
            for (size_t i = 0; i < text.size(); ++i)
                if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(word[i])))
                    return false;
            return true;
        };
        if (matches("False"))
            Assign(false);
        else if (matches("True"))
            Assign(true);
        else
            throw EMarksError(Quoted(text) + " is not a valid boolean value for field '" + FieldName() + "'");
        return;
    }
    case TFieldClass::Float: {
        if (text.empty()) {
            Assign({});
            return;
        }
        auto value = ParseFloatStrict(text);
        if (!value)
            throw EMarksError(Quoted(text) + " is not a valid floating point value for field '" + FieldName() + "'");
        Assign(*value);
        return;
    }
    }
}

void TField::SetAsValue(const TFieldValue& value)
{
    if (IsNullValue(value)) {
        SetNull();
        return;
    }
    switch (Class()) {
    case TFieldClass::AutoInc:
    case TFieldClass::Integer:
    case TFieldClass::Smallint:
        if (const auto* i = std::get_if<std::int64_t>(&value)) {
            if (Class() == TFieldClass::Smallint && (*i < -32768 || *i > 32767)) {
                char message[160];
                std::snprintf(message, sizeof message, "%g is not a valid value for field '%s'. The allowed range is %g to %g",
                              static_cast<double>(*i), FieldName().c_str(), -32768.0, 32767.0);
                throw EMarksError(message);
            }
            Assign(*i);
            return;
        }
        break;
    case TFieldClass::Float:
        if (const auto* d = std::get_if<double>(&value)) {
            Assign(*d);
            return;
        }
        if (const auto* i = std::get_if<std::int64_t>(&value)) {
            Assign(static_cast<double>(*i));
            return;
        }
        break;
    case TFieldClass::Boolean:
        if (const auto* b = std::get_if<bool>(&value)) {
            Assign(*b);
            return;
        }
        break;
    default:
        break;
    }
    if (IsTextClass(Class()) && std::holds_alternative<std::string>(value)) {
        SetAsText(std::get<std::string>(value));
        return;
    }
    // A value of another kind goes through its text form.
    std::string text;
    switch (value.index()) {
    case 1: text = std::to_string(std::get<std::int64_t>(value)); break;
    case 2: text = FloatText(std::get<double>(value)); break;
    case 3: text = std::get<bool>(value) ? "True" : "False"; break;
    default: text = std::get<std::string>(value); break;
    }
    SetAsText(text);
}
