#include "coordinates.h"

#include <charconv>
#include <cmath>

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Reads a number at text[i], moving i past it.
std::optional<double> NumberAt(std::string_view text, size_t& i)
{
    if (i < text.size() && text[i] == '+')
        ++i;
    double value = 0;
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

std::optional<std::vector<TLonLat>> ParseKmlCoordinates(std::string_view text)
{
    std::vector<TLonLat> points;
    size_t i = 0;
    SkipSpace(text, i);
    while (i < text.size()) {
        double values[3] = {};
        int count = 0;
        for (;;) {
            std::optional<double> value = NumberAt(text, i);
            if (!value || count == 3)
                return std::nullopt;
            values[count++] = *value;
            size_t after = i;
            SkipSpace(text, after);
            if (after < text.size() && text[after] == ',') {
                i = after + 1;
                SkipSpace(text, i);
                continue;
            }
            i = after;
            break;
        }
        if (count < 2)
            return std::nullopt;
        TLonLat point{values[0], values[1]};
        if (!IsValidLonLat(point))
            return std::nullopt;
        points.push_back(point);
    }
    return points;
}
