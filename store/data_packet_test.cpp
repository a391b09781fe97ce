#include "data_packet.h"

#include <gtest/gtest.h>

#include <random>

#include "packet_test_support.h"
#include "packet_values.h"

using namespace packet_test;

namespace {

TStoredRow Row(std::vector<TFieldValue> values, std::uint8_t state = 0)
{
    return TStoredRow{state, std::move(values)};
}

const std::string kWellPoint("\xcc\x7f\x48\xbf\x7d\x1d\x78\x96\x04\x40\x38\x67\x44\x69\x6f\xf0\x05\xdf\x04\x40\0\0\0\0", 24);

TStoredRow WellRow()
{
    return Row({std::int64_t{7}, std::string("Well"), std::string("Line 1\r\nLine 2"), std::int64_t{1}, std::int64_t{24},
                kWellPoint, 37.6173, 55.7558, 37.6173, 55.7558, std::int64_t{255}, std::int64_t{65280}, false,
                std::string(), std::int64_t{1}});
}

} // namespace

TEST(WriteXmlPacket, CategoriesWorkedExample)
{
    TPacketContent c = CategoriesContent();
    c.Rows.push_back(Row({std::int64_t{1}, std::string("Shops & cafes"), true, std::int64_t{3}, std::int64_t{19}}));
    const std::string expected = Packet(kCategoriesFields, "<PARAMS AUTOINCVALUE=\"2\"/>",
                                        "<ROW id=\"1\" name=\"Shops &amp; cafes\" visible=\"TRUE\" AfterScale=\"3\" "
                                        "BeforeScale=\"19\"/>");
    EXPECT_EQ(WriteXmlPacket(c), expected);

    TPacketContent back = ReadPacket(expected);
    ASSERT_EQ(back.Rows.size(), 1u);
    EXPECT_EQ(back.Rows[0].Values, c.Rows[0].Values);
    EXPECT_EQ(back.AutoIncValue, 2);
    EXPECT_EQ(back.Fields.size(), 5u);
    EXPECT_TRUE(back.Fields[0].IsAutoInc());
    EXPECT_TRUE(back.Fields[0].ReadOnly);
    EXPECT_EQ(back.Fields[1].Width(), 256);
    EXPECT_EQ(WriteXmlPacket(back), expected);
}

TEST(WriteXmlPacket, MarksWorkedExample)
{
    TPacketContent c = MarksContent();
    c.Rows.push_back(WellRow());
    const std::string expected =
        Packet(kMarksFields, "<PARAMS AUTOINCVALUE=\"8\"/>",
               "<ROW id=\"7\" name=\"Well\" descr=\"Line 1&#013;&#010;Line 2\" scale1=\"1\" scale2=\"24\" "
               "lonlatarr=\"zH9Iv30deJYEQDhnRGlv8AXfBEAAAAAA\" lonL=\"37.6173\" latT=\"55.7558\" LonR=\"37.6173\" "
               "LatB=\"55.7558\" color1=\"255\" color2=\"65280\" visible=\"FALSE\" picname=\"\" categoryid=\"1\"/>");
    EXPECT_EQ(WriteXmlPacket(c), expected);
    TPacketContent back = ReadPacket(expected);
    ASSERT_EQ(back.Rows.size(), 1u);
    EXPECT_EQ(back.Rows[0].Values, c.Rows[0].Values);
    EXPECT_EQ(WriteXmlPacket(back), expected);
}

TEST(WriteXmlPacket, EmptyTableNullsAndEmptyStrings)
{
    TPacketContent c = CategoriesContent();
    EXPECT_EQ(WriteXmlPacket(c), Packet(kCategoriesFields, "<PARAMS AUTOINCVALUE=\"2\"/>", ""));

    c.Rows.push_back(Row({std::int64_t{1}, std::string(), TFieldValue{}, TFieldValue{}, std::int64_t{-5}}));
    std::string text = WriteXmlPacket(c);
    EXPECT_NE(text.find("<ROW id=\"1\" name=\"\" BeforeScale=\"-5\"/>"), std::string::npos);
    TPacketContent back = ReadPacket(text);
    EXPECT_EQ(back.Rows[0].Values[1], TFieldValue(std::string()));
    EXPECT_TRUE(IsNullValue(back.Rows[0].Values[2]));
    EXPECT_TRUE(IsNullValue(back.Rows[0].Values[3]));

    TPacketContent noAutoInc;
    noAutoInc.Fields = {Field("x", "i4")};
    EXPECT_EQ(WriteXmlPacket(noAutoInc), Packet("<FIELD attrname=\"x\" fieldtype=\"i4\"/>", "<PARAMS/>", ""));
}

TEST(WriteXmlPacket, EscapesEveryListedCharacterAndKeepsOtherBytes)
{
    TPacketContent c = CategoriesContent();
    const std::string name = "a&b<c>d\"e'f\\g\th\ni\rj\x01k\xcf\xf0\xe8\xe2\xe5\xf2"; // ends with Cyrillic "Privet"
    c.Rows.push_back(Row({std::int64_t{1}, name, TFieldValue{}, TFieldValue{}, TFieldValue{}}));
    std::string text = WriteXmlPacket(c);
    EXPECT_NE(text.find("name=\"a&amp;b&lt;c&gt;d&quot;e&apos;f&#092;g&#009;h&#010;i&#013;j\x01k\xcf\xf0\xe8\xe2\xe5\xf2\""),
              std::string::npos);
    EXPECT_EQ(ReadPacket(text).Rows[0].Values[1], TFieldValue(name));
}

TEST(WriteXmlPacket, FloatForms)
{
    TPacketContent c;
    c.Fields = {Field("v", "r8")};
    for (double v : {0.1 + 0.2, 0.00001, 100.0, -180.0, 37.6173, 1.2345678901234568e16, 0.0001})
        c.Rows.push_back(Row({v}));
    EXPECT_EQ(WriteXmlPacket(c),
              Packet("<FIELD attrname=\"v\" fieldtype=\"r8\"/>", "<PARAMS/>",
                     "<ROW v=\"0.3\"/><ROW v=\"1e-05\"/><ROW v=\"100\"/><ROW v=\"-180\"/><ROW v=\"37.6173\"/>"
                     "<ROW v=\"1.234567890123457e+16\"/><ROW v=\"0.0001\"/>"));
}

TEST(WriteXmlPacket, FieldNamesWithSpecialCharactersAndParams)
{
    TPacketContent c;
    TStoredField f = Field("my field(1)", "string", {}, 10);
    f.Required = true;
    f.Params.push_back({"MINVALUE", "string", "a", false});
    f.Params.push_back({"ORIGIN", "string", "x.y", true});
    c.Fields = {f};
    c.Params.push_back({"LCID", "i2", "1049", false});
    c.Params.push_back({"DISABLE_EDITS", "boolean", "TRUE", false});
    c.Rows.push_back(Row({std::string("v")}));
    const std::string expected = Packet(
        "<FIELD fieldname=\"my field(1)\" attrname=\"my_field_1_\" fieldtype=\"string\" required=\"true\" WIDTH=\"10\" "
        "MINVALUE=\"a\"><PARAM Name=\"ORIGIN\" Value=\"x.y\" Type=\"string\" Roundtrip=\"True\"/></FIELD>",
        "<PARAMS LCID=\"1049\"><PARAM Name=\"DISABLE_EDITS\" Value=\"TRUE\" Type=\"boolean\"/></PARAMS>",
        "<ROW my_field_1_=\"v\"/>");
    EXPECT_EQ(WriteXmlPacket(c), expected);
    TPacketContent back = ReadPacket(expected);
    EXPECT_EQ(back.Fields[0].Name, "my field(1)");
    EXPECT_EQ(back.Rows[0].Values[0], TFieldValue(std::string("v")));
    EXPECT_EQ(WriteXmlPacket(back), expected);
}

TEST(WriteXmlPacket, ExtraTableParamsFollowAutoIncValue)
{
    TPacketContent c = CategoriesContent();
    c.Params.push_back({"LCID", "i2", "1049", false});
    c.Params.push_back({"PRIMARY_KEY", "UIntArray", "1", false});
    EXPECT_EQ(WriteXmlPacket(c),
              Packet(kCategoriesFields, "<PARAMS PRIMARY_KEY=\"1\" AUTOINCVALUE=\"2\" LCID=\"1049\"/>", ""));
}

TEST(WriteXmlPacket, PendingChangeLogWritesHiddenVersions)
{
    TPacketContent c = CategoriesContent();
    c.AutoIncValue = 3;
    c.Rows.push_back(Row({std::int64_t{1}, std::string("Old"), true, TFieldValue{}, TFieldValue{}}, rsOriginal));
    c.Rows.push_back(Row({std::int64_t{2}, std::string("Gone"), true, TFieldValue{}, TFieldValue{}}, rsDeleted));
    c.Rows.push_back(Row({std::int64_t{1}, std::string("New"), true, TFieldValue{}, TFieldValue{}}, rsModified));
    c.ChangeLog = {{2, 0, caModify}, {1, kNoRow, caDelete}};
    const std::string expected = Packet(kCategoriesFields, "<PARAMS CHANGE_LOG=\"3 1 8 2 0 2\" AUTOINCVALUE=\"3\"/>",
                                        "<ROW RowState=\"1\" id=\"1\" name=\"Old\" visible=\"TRUE\"/>"
                                        "<ROW RowState=\"2\" id=\"2\" name=\"Gone\" visible=\"TRUE\"/>"
                                        "<ROW RowState=\"8\" id=\"1\" name=\"New\" visible=\"TRUE\"/>");
    EXPECT_EQ(WriteXmlPacket(c), expected);

    TPacketContent back = ReadPacket(expected);
    EXPECT_EQ(back.ChangeLog, c.ChangeLog);
    EXPECT_EQ(back.Rows[0].State, rsOriginal);
    EXPECT_EQ(WriteXmlPacket(back), expected);

    // Without a log only the rows in use are written, without RowState.
    back.ChangeLog.clear();
    EXPECT_EQ(WriteXmlPacket(back),
              Packet(kCategoriesFields, "<PARAMS AUTOINCVALUE=\"3\"/>", "<ROW id=\"1\" name=\"New\" visible=\"TRUE\"/>"));
}

TEST(WriteXmlPacket, BlobsOfEveryLengthRoundTrip)
{
    TPacketContent c;
    c.Fields = {Field("b", "bin.hex", "Binary"), Field("m", "bin.hex")};
    std::string bytes;
    for (int n = 0; n < 70; ++n) {
        c.Rows.push_back(Row({bytes, bytes}));
        bytes.push_back(static_cast<char>(n * 37));
    }
    TPacketContent back = ReadPacket(WriteXmlPacket(c));
    for (size_t i = 0; i < c.Rows.size(); ++i)
        EXPECT_EQ(back.Rows[i].Values, c.Rows[i].Values) << i;
    EXPECT_EQ(WriteXmlPacket(back), WriteXmlPacket(c));
}

TEST(PacketValues, Base64MatchesTheRfc4648Vectors)
{
    const std::pair<const char*, const char*> vectors[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
                                                           {"foo", "Zm9v"},  {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
                                                           {"foobar", "Zm9vYmFy"}};
    for (const auto& [bytes, text] : vectors) {
        std::string encoded;
        AppendBase64(encoded, bytes);
        EXPECT_EQ(encoded, text);
        EXPECT_EQ(DecodeBase64(text), bytes) << text;
    }
    EXPECT_EQ(DecodeBase64("Zm9v\r\nYmE="), "fooba");
}

namespace {

// Every alphabet character's six bits in turn, whatever else stands between them.
std::string DecodeBitByBit(std::string_view text)
{
    const std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0, count = 0;
    for (char c : text)
        if (size_t v = alphabet.find(c); v != std::string_view::npos) {
            bits = (bits << 6 | static_cast<unsigned>(v)) & 0xFFFFFF;
            if ((count += 6) >= 8)
                out.push_back(static_cast<char>(bits >> (count -= 8)));
        }
    return out;
}

} // namespace

TEST(PacketValues, LongBase64TextsDecodeAsEveryCharacterSays)
{
    // Texts long enough for the blocks the decoder takes at once; each byte value
    // in each place of a block, and texts with line breaks, padding and foreign
    // bytes at random places.
    std::string block;
    AppendBase64(block, std::string("\x00\x10\x83\x10\x51\x87\x20\x92\x8b\x30\xd3\x8f\x41\x14\x93\x51"
                                    "\x55\x97\x61\x96\x9b\x71\xd7\x9f\x82\x18\xa3\x92\x59\xa7\xa2\x9a"
                                    "\xab\xb2\xdb\xaf\xc3\x1c\xb3\xd3\x5d\xb7\xe3\x9e\xbb\xf3\xdf\xbf",
                                    48));
    block += block;
    ASSERT_EQ(block.size(), 128u);
    for (size_t at = 0; at < 64; ++at)
        for (int c = 0; c < 256; ++c) {
            std::string text = block;
            text[at] = static_cast<char>(c);
            ASSERT_EQ(DecodeBase64(text), DecodeBitByBit(text)) << at << " " << c;
        }
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(random() % 400, '\0');
        for (char& b : bytes)
            b = static_cast<char>(random());
        std::string text;
        AppendBase64(text, bytes);
        EXPECT_EQ(DecodeBase64(text), bytes);
        for (int k = random() % 4; k > 0 && !text.empty(); --k)
            text.insert(random() % text.size(), 1, "\n=\x80 \0"[random() % 5]);
        ASSERT_EQ(DecodeBase64(text), DecodeBitByBit(text)) << text;
    }
}
