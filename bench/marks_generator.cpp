#include "marks_generator.h"

#include "mark_geometry.h"
#include "marks_schema.h"

#include <cstring>
#include <random>

namespace {

const char* const kLatin[] = {"Well", "Camp", "Bridge", "Spring", "Hut", "Peak", "Ford", "Mill", "Tower", "Cave"};
const char* const kCyrillic[] = {"\xd0\xee\xe4\xed\xe8\xea", "\xcb\xe0\xe3\xe5\xf0\xfc", "\xcc\xee\xf1\xf2",
                                 "\xc8\xf1\xf2\xee\xf7\xed\xe8\xea", "\xc8\xe7\xe1\xe0", "\xc2\xe5\xf0\xf8\xe8\xed\xe0"};
const char* const kIcons[] = {"flag.png", "camp.png", "water.png", "church.png", "fuel.png", ""};

std::string Name(std::mt19937& rng, int n)
{
    std::string s = (rng() % 2) ? kLatin[rng() % 10] : kCyrillic[rng() % 6];
    return s + " " + std::to_string(n);
}

} // namespace

TPacketContent GenerateCategories(const TGeneratorOptions& o)
{
    std::mt19937 rng(o.Seed);
    TPacketContent c = EmptyCatsPacket();
    for (int i = 1; i <= o.Categories; ++i)
        c.Rows.push_back({0,
                          {std::int64_t{i}, Name(rng, i), rng() % 5 != 0, std::int64_t{int(rng() % 10)},
                           std::int64_t{int(10 + rng() % 10)}}});
    c.AutoIncValue = o.Categories + 1;
    return c;
}

TPacketContent GenerateMarks(const TGeneratorOptions& o)
{
    std::mt19937 rng(o.Seed + 1);
    TPacketContent c = EmptyMarksPacket();
    // Most marks are single points; the rest are lines and areas of 2 to 200
    // points, in the share that gives the asked average.
    const double singleShare = (101.0 - o.AveragePoints) / 100.0;
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 1; i <= o.Marks; ++i) {
        int points = unit(rng) < singleShare ? 1 : 2 + int(rng() % 199);
        long double lon = -180 + 360 * unit(rng), lat = -80 + 160 * unit(rng);
        long double minLon = lon, maxLon = lon, minLat = lat, maxLat = lat;
        std::string blob;
        blob.reserve(size_t(points) * 24);
        for (int p = 0; p < points; ++p) {
            long double x = lon + 0.01L * p * unit(rng), y = lat + 0.01L * p * (unit(rng) - 0.5);
            if (points > 2 && p == points - 1 && rng() % 2)
                x = lon, y = lat; // a closed area
            minLon = std::min(minLon, x), maxLon = std::max(maxLon, x);
            minLat = std::min(minLat, y), maxLat = std::max(maxLat, y);
            blob += PointRecord(x, y);
        }
        TFieldValue descr;
        if (rng() % 3 == 0)
            descr = "Line one of " + std::to_string(i) + "\r\n\xce\xef\xe8\xf1\xe0\xed\xe8\xe5 & <notes>";
        c.Rows.push_back({0,
                          {std::int64_t{i}, Name(rng, i), descr, std::int64_t{int(rng() % 20)},
                           std::int64_t{int(rng() % 25)}, blob, double(minLon), double(maxLat), double(maxLon),
                           double(minLat), std::int64_t{int(rng() & 0xFFFFFF)}, std::int64_t{int(rng() & 0xFFFFFF)},
                           rng() % 4 != 0, std::string(kIcons[rng() % 6]),
                           std::int64_t{1 + int(rng() % std::uint32_t(o.Categories))}}});
    }
    c.AutoIncValue = o.Marks + 1;
    return c;
}

TPacketContent GenerateVisibleCategories(const TGeneratorOptions& o)
{
    TPacketContent c = GenerateCategories(o);
    for (TStoredRow& row : c.Rows)
        row.Values[2] = true;
    return c;
}
