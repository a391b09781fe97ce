#include "mark_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "marks_schema.h"
#include "packet_test_support.h"

namespace {

// The 10 bytes of an 80-bit value from its parts.
std::string Extended(std::uint64_t significand, unsigned signAndExponent)
{
    std::string b(10, '\0');
    std::memcpy(b.data(), &significand, 8);
    b[8] = static_cast<char>(signAndExponent & 0xFF);
    b[9] = static_cast<char>(signAndExponent >> 8);
    return b;
}

std::string Record(long double lon, long double lat, const char* tail = "\0\0\0\0")
{
    std::string r(24, '\0');
    std::memcpy(r.data(), &lon, 10);
    std::memcpy(r.data() + 10, &lat, 10);
    std::memcpy(r.data() + 20, tail, 4);
    return r;
}

} // namespace

TEST(MarkGeometry, DecodesExtendedValuesExactly)
{
    // Known 10-byte patterns (significand, then sign and exponent) and their values.
    const struct {
        std::uint64_t Significand;
        unsigned SignAndExponent;
        long double Value;
    } known[] = {
        {0, 0x0000, 0.0L},
        {0x8000000000000000ull, 0x3FFF, 1.0L},
        {0xB400000000000000ull, 0xC006, -180.0L},
        {0x96781D7DBF487FCCull, 0x4004, 37.6173L},
        {0xCCCCCCCCCCCCCCCDull, 0x3FFB, 0.1L},
        {0x9C3D73864F3805C0ull, 0x0C17, 1e-4000L},
        {0xD1BA8323FE558C61ull, 0x73E6, 1e4000L},
    };
    for (const auto& k : known)
        EXPECT_EQ(DecodeExtended(reinterpret_cast<const unsigned char*>(Extended(k.Significand, k.SignAndExponent).data())),
                  k.Value)
            << k.Value;
    EXPECT_TRUE(std::signbit(DecodeExtended(reinterpret_cast<const unsigned char*>(Extended(0, 0x8000).data()))));
    // Denormal (exponent 0), pseudo-denormal (exponent 0, integer bit set), unnormal.
    EXPECT_EQ(DecodeExtended(reinterpret_cast<const unsigned char*>(Extended(1, 0).data())), std::ldexp(1.0L, -16445));
    EXPECT_EQ(DecodeExtended(reinterpret_cast<const unsigned char*>(Extended(1ull << 63, 0).data())),
              std::ldexp(1.0L, -16382));
    EXPECT_EQ(DecodeExtended(reinterpret_cast<const unsigned char*>(Extended(1ull << 62, 0x3FFF).data())), 0.5L);
    EXPECT_TRUE(std::isinf(DecodeExtended(reinterpret_cast<const unsigned char*>(Extended(1ull << 63, 0xFFFF).data()))));
    // NaN: exponent all ones and fraction bits set, whatever the integer bit.
    EXPECT_TRUE(IsExtendedNaN(reinterpret_cast<const unsigned char*>(Extended(1, 0x7FFF).data())));
    EXPECT_TRUE(IsExtendedNaN(reinterpret_cast<const unsigned char*>(Extended((1ull << 63) | 5, 0xFFFF).data())));
    EXPECT_FALSE(IsExtendedNaN(reinterpret_cast<const unsigned char*>(Extended(1ull << 63, 0x7FFF).data())));
    EXPECT_FALSE(IsExtendedNaN(reinterpret_cast<const unsigned char*>(Extended(0, 0x7FFF).data())));
}

TEST(MarkGeometry, PointsAndShapes)
{
    EXPECT_TRUE(DecodePoints("").empty());
    EXPECT_TRUE(DecodePoints(std::string(23, '\1')).empty());
    EXPECT_EQ(ShapeOf({}), msPoint);

    TArrayExtended two = DecodePoints(Record(30.5L, 60.25L) + Record(31, 61) + "xy"); // 50 bytes
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1].Lat, 61.0L);
    EXPECT_EQ(ShapeOf(two), msLine);

    EXPECT_EQ(ShapeOf(DecodePoints(Record(1, 2) + Record(3, 4) + Record(1, 2, "abcd"))), msPolygon);
    EXPECT_EQ(ShapeOf(DecodePoints(Record(1, 2) + Record(1, 2))), msPolygon);
    EXPECT_EQ(ShapeOf(DecodePoints(Record(0.0L, 2) + Record(-0.0L, 2))), msPolygon);
    EXPECT_EQ(ShapeOf(DecodePoints(Record(1, 2) + Record(3, 4) + Record(1, 5))), msLine);
    EXPECT_EQ(ShapeOf(DecodePoints(Record(7, 8))), msPoint);

    // The list ends at the first NaN in either coordinate; infinity stays.
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    const long double inf = std::numeric_limits<long double>::infinity();
    TArrayExtended cut = DecodePoints(Record(1, 2) + Record(3, nan) + Record(5, 6));
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(ShapeOf(cut), msPoint);
    EXPECT_TRUE(DecodePoints(Record(nan, 1) + Record(2, 3)).empty());
    TArrayExtended infinite = DecodePoints(Record(inf, 1) + Record(2, 3));
    ASSERT_EQ(infinite.size(), 2u);
    EXPECT_TRUE(std::isinf(infinite[0].Lon));

    // Bytes 20 to 23 change nothing.
    TArrayExtended a = DecodePoints(Record(10, 20, "\xff\xff\xff\xff"));
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].Lon, 10.0L);
    EXPECT_EQ(a[0].Lat, 20.0L);
}

TEST(MarkGeometry, ReadCurrentMark)
{
    TClientDataSet marks(MarksSchema());
    TMarkData none = ReadCurrentMark(marks);
    EXPECT_TRUE(none.name.empty());
    EXPECT_TRUE(none.points.empty());
    EXPECT_FALSE(none.visible);

    TPacketContent c = packet_test::MarksContent();
    c.Rows.push_back({0,
                      {std::int64_t{1}, std::string("Hut"), std::string("a\r\nb"), TFieldValue{}, TFieldValue{},
                       Record(37.6L, 55.75L), TFieldValue{}, TFieldValue{}, TFieldValue{}, TFieldValue{},
                       std::int64_t{-1}, TFieldValue{}, true, std::string("hut.png"), std::int64_t{1}}});
    marks.SetPacketText(WriteXmlPacket(c));
    TMarkData mark = ReadCurrentMark(marks);
    EXPECT_EQ(mark.name, "Hut");
    EXPECT_EQ(mark.descr, "a\r\nb");
    EXPECT_EQ(mark.picname, "hut.png");
    EXPECT_EQ(mark.color1, -1);
    EXPECT_EQ(mark.color2, 0);
    EXPECT_TRUE(mark.visible);
    ASSERT_EQ(mark.points.size(), 1u);
    EXPECT_EQ(mark.points[0].Lat, 55.75L);
}
