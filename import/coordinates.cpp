#include "coordinates.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The common form "-ddd.dddddd" read directly: digits and a point only, at most 15
// digits in all, so the digits and the power of ten are exact doubles and their
// quotient is the correctly rounded value, as the general conversion gives it.
// False, and nothing read, for any other form.
bool PlainDecimalAt(std::string_view text, size_t& i, double& value)
{
    static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    size_t k = i;
    const bool negative = k < text.size() && text[k] == '-';
    if (negative)
        ++k;
    std::uint64_t digits = 0;
    int count = 0;
    int fraction = -1;
    for (; k < text.size(); ++k) {
        const char c = text[k];
        if (c >= '0' && c <= '9') {
            digits = digits * 10 + static_cast<unsigned>(c - '0');
            ++count;
            if (fraction >= 0)
                ++fraction;
        } else if (c == '.' && fraction < 0) {
            fraction = 0;
        } else {
            break;
        }
    }
    if (count == 0 || count > 15 || fraction == 0 ||
        (k < text.size() && (text[k] == 'e' || text[k] == 'E' || text[k] == 'n' || text[k] == 'i')))
        return false;
    value = static_cast<double>(digits) / kPowers[fraction < 0 ? 0 : fraction];
    if (negative)
        value = -value;
    i = k;
    return true;
}

// Reads a number at text[i], moving i past it.
std::optional<double> NumberAt(std::string_view text, size_t& i)
{
    if (i < text.size() && text[i] == '+')
        ++i;
    double value = 0;
    if (PlainDecimalAt(text, i, value))
        return value;
    auto [end, error] = std::from_chars(text.data() + i, text.data() + text.size(), value);
    if (error != std::errc())
        return std::nullopt;
    i = static_cast<size_t>(end - text.data());
    return value;
}

void SkipSpace(std::string_view text, size_t& i)
{
    while (i < text.size() && IsSpace(text[i]))
        ++i;
}

} // namespace

std::optional<double> ParseNumber(std::string_view text)
{
    size_t i = 0;
    SkipSpace(text, i);
    std::optional<double> value = NumberAt(text, i);
    SkipSpace(text, i);
    if (i != text.size())
        return std::nullopt;
    return value;
}

bool IsValidLonLat(const TLonLat& point)
{
    return std::isfinite(point.Lon) && std::isfinite(point.Lat) && point.Lon >= -180 && point.Lon <= 180 &&
           point.Lat >= -90 && point.Lat <= 90;
}

void TKmlCoordinates::Feed(std::string_view piece)
{
    for (const char c : piece) {
        if (IsSpace(c)) {
            if (FInField)
                EndField();
            FAfterSpace = FInTuple && !FAfterComma;
        } else if (c == ',') {
            if (FInField)
                EndField();
            else if (!FInTuple || FAfterComma)
                FBad = true; // a tuple that begins with a comma, or an empty number
            FInTuple = true;
            FAfterComma = true;
            FAfterSpace = false;
        } else {
            if (!FInField) {
                // White space after a number, not followed by a comma, ends the tuple.
                if (FAfterSpace)
                    EndTuple();
                FInTuple = true;
                FInField = true;
                FAfterComma = false;
                FAfterSpace = false;
                FFieldLength = 0;
                FFieldTooLong = false;
            }
            if (FFieldLength < sizeof FField)
                FField[FFieldLength++] = c;
            else
                FFieldTooLong = true;
        }
    }
}

void TKmlCoordinates::Finish()
{
    if (FInField)
        EndField();
    EndTuple();
}

void TKmlCoordinates::EndField()
{
    FInField = false;
    std::optional<double> value;
    if (!FFieldTooLong)
        value = ParseNumber(std::string_view(FField, FFieldLength));
    if (!value || FCount == 3)
        FBad = true;
    else
        FValues[FCount++] = *value;
}

void TKmlCoordinates::EndTuple()
{
    if (FInTuple) {
        const TLonLat point{FValues[0], FValues[1]};
        if (FBad || FAfterComma || FCount < 2 || !IsValidLonLat(point))
            ++Skipped;
        else if (Points.size() < FKeep)
            Points.push_back(point);
    }
    FCount = 0;
    FBad = false;
    FInTuple = false;
    FAfterComma = false;
    FAfterSpace = false;
}

std::optional<TLonLat> ParseGxCoord(std::string_view text)
{
    double values[3] = {};
    int count = 0;
    size_t i = 0;
    SkipSpace(text, i);
    while (i < text.size()) {
        size_t end = i;
        while (end < text.size() && !IsSpace(text[end]))
            ++end;
        std::optional<double> value = ParseNumber(text.substr(i, end - i));
        if (!value || count == 3)
            return std::nullopt;
        values[count++] = *value;
        i = end;
        SkipSpace(text, i);
    }
    const TLonLat point{values[0], values[1]};
    if (count < 2 || !IsValidLonLat(point))
        return std::nullopt;
    return point;
}
