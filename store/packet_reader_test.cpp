#include <gtest/gtest.h>

#include <cmath>

#include "data_packet.h"
#include "marks_error.h"
#include "packet_test_support.h"

using namespace packet_test;

namespace {

const std::string kCompact =
    Packet(kCategoriesFields, "<PARAMS AUTOINCVALUE=\"4\"/>",
           "<ROW id=\"1\" name=\"Shops\" visible=\"TRUE\" AfterScale=\"3\" BeforeScale=\"19\"/>"
           "<ROW id=\"3\" name=\"\xcc\xe0\xe3\xe0\xe7\xe8\xed\xfb\" visible=\"FALSE\"/>");

std::string ReadError(const std::string& bytes)
{
    try {
        ReadPacket(bytes);
    } catch (const EMarksError& e) {
        return e.what();
    }
    return "(read)";
}

// The value a single-field packet of the given type reads from the attribute text.
TFieldValue ReadOne(const std::string& type, const std::string& raw, const std::string& subtype = {})
{
    std::string sub = subtype.empty() ? "" : " SUBTYPE=\"" + subtype + "\"";
    TPacketContent c = ReadPacket(Packet("<FIELD attrname=\"v\" fieldtype=\"" + type + "\"" + sub + "/>", "<PARAMS/>",
                                         "<ROW v=\"" + raw + "\"/>"));
    return c.Rows.at(0).Values.at(0);
}

} // namespace

TEST(ReadPacket, LenientFormsReadLikeTheCompactForm)
{
    const std::string expected = WriteXmlPacket(ReadPacket(kCompact));
    EXPECT_EQ(expected, kCompact);

    const std::string indented =
        "\r\n  <?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"yes\"?>\n<!-- saved by hand -->\n"
        "<DATAPACKET Version=\"2.0\">\n  <METADATA>\n    <FIELDS>\n"
        "      <FIELD fieldtype=\"I4\" SUBTYPE=\"Autoinc\" readonly=\"TRUE\" attrname=\"id\" />\n"
        "      <FIELD WIDTH=\"256\" attrname=\"name\" fieldtype=\"string\"/>\n"
        "      <FIELD attrname=\"visible\" fieldtype=\"boolean\"/>\n"
        "      <FIELD attrname=\"AfterScale\" fieldtype=\"i2\"></FIELD>\n"
        "      <FIELD attrname=\"BeforeScale\" fieldtype=\"i2\"/>\n"
        "    </FIELDS>\n    <PARAMS AUTOINCVALUE = \"4\"/>\n  </METADATA>\n  <ROWDATA>\n"
        "    <ROW BeforeScale=\"19\" unknown=\"x\" name=\"Shops\" AfterScale=\"3\" visible=\"true\" id=\"1\"/>\n"
        "    <!-- a comment between rows -->\n"
        "    <ROW RowState=\"0\" id=\"3\" name=\"\xcc\xe0\xe3\xe0\xe7\xe8\xed\xfb\" visible=\"f\"></ROW>\n"
        "  </ROWDATA>\n</DATAPACKET>\n";
    EXPECT_EQ(WriteXmlPacket(ReadPacket(indented)), expected);

    // The same packet in UTF-8, announced by a byte-order mark or by its declaration.
    std::string utf8 = kCompact;
    utf8.replace(utf8.find("\xcc\xe0\xe3\xe0\xe7\xe8\xed\xfb"), 8,
                 "\xd0\x9c\xd0\xb0\xd0\xb3\xd0\xb0\xd0\xb7\xd0\xb8\xd0\xbd\xd1\x8b");
    EXPECT_EQ(WriteXmlPacket(ReadPacket("\xEF\xBB\xBF" + utf8)), expected);
    std::string declared = utf8;
    declared.replace(declared.find("standalone"), 0, "encoding=\"utf-8\" ");
    EXPECT_EQ(WriteXmlPacket(ReadPacket(declared)), expected);

    // Without the mark, a declaration is only believed when every byte is UTF-8.
    std::string notUtf8 = kCompact;
    notUtf8.replace(notUtf8.find("standalone"), 0, "encoding=\"UTF-8\" ");
    EXPECT_EQ(ReadPacket(notUtf8).Rows[1].Values[1], TFieldValue(std::string("\xcc\xe0\xe3\xe0\xe7\xe8\xed\xfb")));

    // No DATAPACKET wrapper, and no ROWDATA at all.
    TPacketContent bare = ReadPacket("<METADATA><FIELDS><FIELD attrname=\"a\" fieldtype=\"i4\"/></FIELDS></METADATA>");
    EXPECT_EQ(bare.Fields.size(), 1u);
    EXPECT_TRUE(bare.Rows.empty());
}

TEST(ReadPacket, Utf8ConversionOfBadAndMissingCharacters)
{
    // A four-byte sequence and a stray continuation byte become spaces; a character
    // that Windows-1251 lacks becomes '?'.
    std::string utf8 = "\xEF\xBB\xBF" +
                       Packet("<FIELD attrname=\"v\" fieldtype=\"string\" WIDTH=\"50\"/>", "<PARAMS/>",
                              "<ROW v=\"a\xF0\x9F\x98\x80" "b\x80" "c\xE4\xB8\xAD" "d\xE2\x84\x96\"/>");
    EXPECT_EQ(ReadPacket(utf8).Rows[0].Values[0], TFieldValue(std::string("a    b c?d\xB9")));
}

TEST(ReadPacket, LenientValues)
{
    EXPECT_TRUE(IsNullValue(ReadOne("i4", "abc")));
    EXPECT_EQ(ReadOne("i4", "12abc"), TFieldValue(std::int64_t{12}));
    EXPECT_EQ(ReadOne("i4", " -5"), TFieldValue(std::int64_t{-5}));
    EXPECT_TRUE(IsNullValue(ReadOne("i4", "")));
    EXPECT_TRUE(IsNullValue(ReadOne("i2", "x1")));
    EXPECT_EQ(ReadOne("r8", "1.5e3xyz"), TFieldValue(1500.0));
    EXPECT_EQ(ReadOne("r8", " -0.25"), TFieldValue(-0.25));
    EXPECT_EQ(ReadOne("r8", "0x1A"), TFieldValue(26.0));
    EXPECT_EQ(ReadOne("r8", "+1e999"), TFieldValue(HUGE_VAL));
    EXPECT_TRUE(IsNullValue(ReadOne("r8", "nan")));
    EXPECT_EQ(ReadOne("boolean", "true"), TFieldValue(true));
    EXPECT_EQ(ReadOne("boolean", "F"), TFieldValue(false));
    EXPECT_TRUE(IsNullValue(ReadOne("boolean", "yes")));
    EXPECT_EQ(ReadOne("bin.hex", "QU\nJ D*=", "Binary"), TFieldValue(std::string("ABC")));
    EXPECT_EQ(ReadOne("bin.hex", "QUJD"), TFieldValue(std::string("ABC")));
    EXPECT_EQ(ReadOne("bin.hex", "QUJD", "text"), TFieldValue(std::string("ABC")));
    EXPECT_EQ(ReadOne("bin.hex", "a&#013;&#x0A;b", "Text"), TFieldValue(std::string("a\r\nb")));
}

TEST(ReadPacket, EntityReferences)
{
    EXPECT_EQ(ReadOne("string", "&lt;&gt;&quot;&apos;&amp;"), TFieldValue(std::string("<>\"'&")));
    EXPECT_EQ(ReadOne("string", "&#321;&#x141;&#92;"), TFieldValue(std::string("AA\\")));
    EXPECT_EQ(ReadOne("string", "&g;&lx;&q"), TFieldValue(std::string("><\"")));
    EXPECT_EQ(ReadOne("string", "&ab;&x;&#;&#12&"), TFieldValue(std::string("&&x;&#;&#12&")));
}

TEST(ReadPacket, StructuralFailuresGiveThePacketMessages)
{
    const std::string mismatch = "Mismatch in datapacket.";
    EXPECT_EQ(ReadError(""), "Missing data provider or data packet");
    EXPECT_EQ(ReadError("  \r\n"), mismatch);
    EXPECT_EQ(ReadError("hello"), mismatch);
    EXPECT_EQ(ReadError("<?xml version=\"1.0\""), mismatch);
    EXPECT_EQ(ReadError(kCompact.substr(0, kCompact.size() - 1)), mismatch);
    EXPECT_EQ(ReadError(kCompact.substr(0, kCompact.size() / 2)), mismatch);
    EXPECT_EQ(ReadError("<DATAPACKET><TABLE/></DATAPACKET>"), mismatch);
    EXPECT_EQ(ReadError("<DATAPACKET><METADATA><PARAMS/></METADATA></DATAPACKET>"), mismatch);
    EXPECT_EQ(ReadError("<METADATA><FIELDS><FIELD fieldtype=\"i4\"/></FIELDS></METADATA>"), mismatch);
    EXPECT_EQ(ReadError("<METADATA><FIELDS></FIELDZ></METADATA>"), mismatch);
    EXPECT_EQ(ReadError("<METADATA><FIELDS/></METADATA><ROWDATA><RECORD/></ROWDATA>"), mismatch);
    EXPECT_EQ(ReadError("<METADATA><FIELDS/></METADATA><ROWDATA><ROW a='1'/></ROWDATA>"), mismatch);
    EXPECT_EQ(ReadError("<METADATA><FIELDS/></METADATA><ROWDATA><ROW a=\"1/></ROWDATA>"), mismatch);
    EXPECT_EQ(ReadError("<METADATA><FIELDS/></METADATA> stray <ROWDATA/>"), mismatch);

    EXPECT_EQ(ReadError("<DATAPACKET/>"), "Datapacket contains no meta data.");
    EXPECT_EQ(ReadError("<DATAPACKET Version=\"2.0\"><ROWDATA/></DATAPACKET>"), "Datapacket contains no meta data.");
    EXPECT_EQ(ReadError("<METADATA><FIELDS><FIELD attrname=\"a\"/></FIELDS></METADATA>"), "Invalid field type.");
    EXPECT_EQ(ReadError("<METADATA><FIELDS><FIELD attrname=\"a\" fieldtype=\"money\"/></FIELDS></METADATA>"),
              "Invalid field type.");

    EXPECT_NE(ReadError(std::string("\x96\x19\xE0\xBD", 4) + std::string(40, '\0')).find("binary data packet"),
              std::string::npos);
    EXPECT_NE(ReadError(std::string("\xCD\xAB\x00\x00", 4)).find("binary data packet"), std::string::npos);
}

TEST(ReadPacket, NestingLimitAndChangeLogChecks)
{
    auto nested = [](int depth) {
        std::string open, close;
        for (int i = 0; i < depth - 3; ++i) {
            open += "<X>";
            close = "</X>" + close;
        }
        return "<DATAPACKET><METADATA><FIELDS/></METADATA><ROWDATA><ROW>" + open + close +
               "</ROW></ROWDATA></DATAPACKET>";
    };
    EXPECT_EQ(ReadError(nested(63)), "(read)");
    EXPECT_EQ(ReadError(nested(64)), "Mismatch in datapacket.");

    auto withLog = [&](const std::string& log, const std::vector<const char*>& states = {"", ""}) {
        std::string rows;
        for (const char* state : states)
            rows += std::string("<ROW") + (*state ? " RowState=\"" + std::string(state) + "\"" : "") + " a=\"1\"/>";
        return Packet("<FIELD attrname=\"a\" fieldtype=\"i4\"/>", "<PARAMS CHANGE_LOG=\"" + log + "\"/>", rows);
    };
    EXPECT_EQ(ReadPacket(withLog("1 0 4 2 1 8", {"5", "12"})).ChangeLog.size(), 2u);
    EXPECT_EQ(ReadPacket(withLog("2 1 8 3 2 8 3 0 2", {"1", "9", "10"})).ChangeLog.size(), 3u);
    EXPECT_EQ(ReadError(withLog("3 0 4")), "Mismatch in datapacket.");
    EXPECT_EQ(ReadError(withLog("1 0")), "Mismatch in datapacket.");
    EXPECT_EQ(ReadError(withLog("1 0 5")), "Mismatch in datapacket.");

    // Modify entries whose previous version is not an earlier, replaced row: the
    // merge could not follow them.
    EXPECT_EQ(ReadError(withLog("2 1 8")), "Mismatch in datapacket.");                 // no old-version state
    EXPECT_EQ(ReadError(withLog("1 2 8", {"8", "1"})), "Mismatch in datapacket.");     // a later row
    EXPECT_EQ(ReadError(withLog("1 1 8", {"8", ""})), "Mismatch in datapacket.");      // itself
    EXPECT_EQ(ReadError(withLog("2 1 8 3 1 8", {"1", "8", "8"})), "Mismatch in datapacket."); // replaced twice
    EXPECT_EQ(ReadError(withLog("3 1 8 3 2 8", {"1", "1", "8"})), "Mismatch in datapacket."); // two previous versions
    EXPECT_EQ(ReadError(withLog("3 2 8 2 1 8", {"1", "9", "8"})), "Mismatch in datapacket."); // chain out of order
}

TEST(ReadPacket, RowValuesStandUnderTheAttrnameAsRead)
{
    // The attrname need not be the one derived from the field name.
    TPacketContent c = ReadPacket(Packet("<FIELD fieldname=\"max speed\" attrname=\"speed\" fieldtype=\"i4\"/>"
                                         "<FIELD fieldname=\"a(b)\" attrname=\"a_b_\" fieldtype=\"i4\"/>",
                                         "<PARAMS/>", "<ROW speed=\"80\" max_speed=\"1\" a_b_=\"2\"/>"));
    ASSERT_EQ(c.Fields.size(), 2u);
    EXPECT_EQ(c.Fields[0].Name, "max speed");
    EXPECT_EQ(c.Rows[0].Values, (std::vector<TFieldValue>{std::int64_t{80}, std::int64_t{2}}));

    // Written back under the same attrname, with the name beside it.
    const std::string written = WriteXmlPacket(c);
    EXPECT_NE(written.find("<FIELD fieldname=\"max speed\" attrname=\"speed\" fieldtype=\"i4\"/>"), std::string::npos);
    EXPECT_NE(written.find("<ROW speed=\"80\" a_b_=\"2\"/>"), std::string::npos);
    TPacketContent back = ReadPacket(written);
    EXPECT_EQ(back.Fields[0].Name, "max speed");
    EXPECT_EQ(back.Rows[0].Values, c.Rows[0].Values);
}

TEST(ReadPacket, WriteReadWriteIsStable)
{
    std::string once = WriteXmlPacket(ReadPacket(kCompact));
    EXPECT_EQ(WriteXmlPacket(ReadPacket(once)), once);

    // Hidden rows of a packet without a log are left out, as the map application does.
    TPacketContent c = ReadPacket(Packet("<FIELD attrname=\"a\" fieldtype=\"i4\"/>", "<PARAMS/>",
                                         "<ROW RowState=\"2\" a=\"1\"/><ROW RowState=\"4\" a=\"2\"/>"));
    EXPECT_EQ(WriteXmlPacket(c), Packet("<FIELD attrname=\"a\" fieldtype=\"i4\"/>", "<PARAMS/>", "<ROW a=\"2\"/>"));
}
