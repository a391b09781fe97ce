// Writes the demo project directory: about ten categories and three hundred marks
// (points with icons, roads and closed areas) around real places, the icons, and an
// Icons.ini with Garmin type codes. Run by hand when the sample should change:
//   build/bin/make_sample sample
#include <png.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>

#include "data_packet.h"
#include "file_io.h"
#include "mark_geometry.h"
#include "marks_schema.h"

namespace {

struct TPlace {
    const char* Name; // Windows-1251
    double Lat, Lon;
};

// Public coordinates of well-known places.
const TPlace kPlaces[] = {
    {"Moscow", 55.7558, 37.6173},        {"Saint Petersburg", 59.9343, 30.3351}, {"Kazan", 55.7963, 49.1088},
    {"Elbrus", 43.3499, 42.4453},        {"Baikal, Listvyanka", 51.8536, 104.8714}, {"Kyiv", 50.4501, 30.5234},
    {"Prague", 50.0755, 14.4378},        {"Vienna", 48.2082, 16.3738},          {"Tallinn", 59.4370, 24.7536},
    {"Murmansk", 68.9585, 33.0827},      {"Sochi", 43.5855, 39.7231},           {"Yekaterinburg", 56.8389, 60.6057},
    {"Novosibirsk", 55.0084, 82.9357},   {"Vladivostok", 43.1198, 131.8869},    {"Kamchatka, Avachinsky", 53.2550, 158.8300},
    {"Mont Blanc", 45.8326, 6.8652},     {"Zermatt", 46.0207, 7.7491},          {"Helsinki", 60.1699, 24.9384},
};

struct TCategory {
    const char* Name;
    bool Visible;
    const char* Icon; // "" for lines and areas
    int Shape;        // 0 points, 1 lines, 2 areas
};

const TCategory kCategories[] = {
    {"Springs", true, "water.png", 0},
    {"Camps", true, "camp.png", 0},
    {"Peaks", true, "flag.png", 0},
    {"\xd6\xe5\xf0\xea\xe2\xe8", true, "church.png", 0}, // Churches
    {"Fuel", true, "Fuel.PNG", 0},
    {"Roads", true, "", 1},
    {"\xce\xe7\xb8\xf0\xe0", true, "", 2},               // Lakes
    {"\xcc\xf3\xe7\xe5\xe8", true, "museum.png", 0},     // Museums
    {"Old tracks", false, "", 1},
    {"Private", false, "flag.png", 0},
};

const char* const kWords[] = {"North", "South", "Upper", "Lower", "Old", "New", "\xc1\xee\xeb\xfc\xf8\xee\xe9",
                              "\xcc\xe0\xeb\xfb\xe9", "\xc4\xe0\xeb\xfc\xed\xe8\xe9", "Forest", "River"};

void WriteIcon(const std::filesystem::path& path, unsigned rgb, int shape)
{
    std::vector<std::uint8_t> pixels(16 * 16 * 4, 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            double dx = x - 7.5, dy = y - 7.5;
            bool inside = shape == 0 ? dx * dx + dy * dy <= 49 : (std::abs(dx) + std::abs(dy) <= 8);
            if (!inside)
                continue;
            std::uint8_t* p = &pixels[size_t(y * 16 + x) * 4];
            p[0] = std::uint8_t(rgb >> 16), p[1] = std::uint8_t(rgb >> 8), p[2] = std::uint8_t(rgb), p[3] = 255;
        }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = image.height = 16;
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr))
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: make_sample OUTPUT_DIR\n";
        return 2;
    }
    const std::filesystem::path out = argv[1];
    std::filesystem::create_directories(out / "MarksIcons");
    std::mt19937 rng(2026);
    std::uniform_real_distribution<double> unit(0, 1);

    TPacketContent cats = EmptyCatsPacket();
    int catId = 1;
    for (const TCategory& c : kCategories)
        cats.Rows.push_back({0, {std::int64_t{catId++}, std::string(c.Name), c.Visible, std::int64_t{3}, std::int64_t{19}}});
    cats.AutoIncValue = catId;

    TPacketContent marks = EmptyMarksPacket();
    int markId = 1;
    for (int m = 0; m < 300; ++m) {
        int category = m % 10;
        const TCategory& c = kCategories[category];
        const TPlace& place = kPlaces[rng() % std::size(kPlaces)];
        long double lon = place.Lon + (unit(rng) - 0.5) * 0.4, lat = place.Lat + (unit(rng) - 0.5) * 0.3;
        std::string blob;
        long double minLon = lon, maxLon = lon, minLat = lat, maxLat = lat;
        int points = c.Shape == 0 ? 1 : 5 + int(rng() % 25);
        for (int p = 0; p < points; ++p) {
            long double x = lon, y = lat;
            if (c.Shape == 1)
                x = lon + 0.004L * p, y = lat + 0.003L * std::sin(p * 0.7L);
            else if (c.Shape == 2 && p < points - 1)
                x = lon + 0.02L * std::cos(6.2831853L * p / (points - 1)), y = lat + 0.012L * std::sin(6.2831853L * p / (points - 1));
            else if (c.Shape == 2)
                x = lon + 0.02L, y = lat; // the closing point repeats the first
            minLon = std::min(minLon, x), maxLon = std::max(maxLon, x);
            minLat = std::min(minLat, y), maxLat = std::max(maxLat, y);
            blob += PointRecord(x, y);
        }
        std::string name = std::string(kWords[rng() % std::size(kWords)]) + " " + place.Name;
        TFieldValue descr;
        if (m % 3 == 0)
            descr = "Near " + std::string(place.Name) + ".\r\n\xd1\xec. \xf4\xee\xf2\xee & <notes>";
        marks.Rows.push_back({0,
                              {std::int64_t{markId++}, name, descr, std::int64_t{int(rng() % 4)}, std::int64_t{24}, blob,
                               double(minLon), double(maxLat), double(maxLon), double(minLat),
                               std::int64_t{c.Shape == 1 ? 0x0000FF : 0x2060C0}, std::int64_t{0x40A040},
                               m % 17 != 0, std::string(c.Icon), std::int64_t{category + 1}}});
    }
    marks.AutoIncValue = markId;

    WriteFileAtomically(out / "Categorymarks.sml", WriteXmlPacket(cats));
    WriteFileAtomically(out / "marks.sml", WriteXmlPacket(marks));
    WriteIcon(out / "MarksIcons" / "water.png", 0x2080FF, 0);
    WriteIcon(out / "MarksIcons" / "camp.png", 0x20A020, 1);
    WriteIcon(out / "MarksIcons" / "flag.png", 0xE02020, 1);
    WriteIcon(out / "MarksIcons" / "church.png", 0xC0A000, 0);
    WriteIcon(out / "MarksIcons" / "Fuel.PNG", 0x404040, 0);
    WriteIcon(out / "MarksIcons" / "museum.png", 0x8040C0, 1);
    std::ofstream ini(out / "Icons.ini", std::ios::binary);
    ini << "[water.png]\r\nType=6511\r\n\r\n[camp.png]\r\nType=2b03\r\n\r\n[flag.png]\r\nType=6616\r\n\r\n"
           "[church.png]\r\nType=6404\r\n\r\n[fuel.png]\r\nType=2f01\r\n\r\n[museum.png]\r\nType=2c02\r\n\r\n"
           "[POLYLINE]\r\nType=06\r\n\r\n[POLYGON]\r\nType=3c\r\n";
    return 0;
}
