// Real-world shapes of bad input: each gives a clear message, or reads leniently,
// and never crashes, hangs or leaves a table half open.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>

#include "client_dataset.h"
#include "file_io.h"
#include "icon_cache.h"
#include "marks_error.h"
#include "marks_schema.h"
#include "test_helpers.h"
#include "packet_test_support.h"

namespace fs = std::filesystem;
using namespace packet_test;

namespace {

const fs::path kSampleMarks = fs::path(MARKS_SOURCE_DIR) / "sample" / "marks.sml";

struct TBadInput : ::testing::Test {
    fs::path Dir = fs::temp_directory_path() /
                   ("marks-bad-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    TClientDataSet Marks{MarksSchema()};
    void SetUp() override
    {
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }

    std::string LoadError(const std::string& bytes)
    {
        WriteFileAtomically(Dir / "marks.sml", bytes);
        std::string message = ErrorText([&] { Marks.LoadTableFile(Dir / "marks.sml"); });
        if (message != "(no error)") {
            EXPECT_FALSE(Marks.IsOpen()) << message;
        }
        return message;
    }
};

} // namespace

TEST_F(TBadInput, ZeroBytesAndEveryTruncationOfTheSample)
{
    EXPECT_EQ(LoadError(""), "CDMarks: Missing data provider or data packet");
    const std::string sample = ReadWholeFile(kSampleMarks);
    ASSERT_GT(sample.size(), 10000u);
    for (size_t cut = 997; cut < sample.size(); cut += 997) {
        std::string message = ErrorText([&] { Marks.SetPacketText(std::string_view(sample).substr(0, cut)); });
        ASSERT_EQ(message, "Mismatch in datapacket.") << "cut at " << cut;
        ASSERT_FALSE(Marks.IsOpen());
    }
    Marks.SetPacketText(sample);
    EXPECT_TRUE(Marks.IsOpen());
}

TEST_F(TBadInput, StructureAndTypes)
{
    std::string deep = "<DATAPACKET><METADATA><FIELDS/></METADATA><ROWDATA><ROW>";
    for (int i = 0; i < 61; ++i)
        deep += "<X>";
    EXPECT_EQ(LoadError(deep), "Mismatch in datapacket.");
    EXPECT_EQ(LoadError("<DATAPACKET><ROW id=\"1\"/><METADATA><FIELDS/></METADATA></DATAPACKET>"),
              "Mismatch in datapacket.");
    EXPECT_EQ(LoadError(Packet(std::string(kMarksFields) + "<FIELD attrname=\"x\" fieldtype=\"money\"/>", "<PARAMS/>", "")),
              "Invalid field type.");
    EXPECT_EQ(LoadError("PK\x03\x04 this is a zip"), "Mismatch in datapacket.");
    EXPECT_EQ(LoadError(std::string("\0\0\0\0", 4)), "Mismatch in datapacket.");
    EXPECT_NE(LoadError(std::string("\x96\x19\xE0\xBD", 4) + std::string(100, '\1')).find("binary"), std::string::npos);
}

TEST_F(TBadInput, LenientValuesReadWithoutError)
{
    // Duplicate attributes (the last one counts), invalid Base64, a blob of odd length.
    const std::string rows = "<ROW id=\"1\" name=\"a\" name=\"b\" lonlatarr=\"!!!@@@###\" categoryid=\"1\"/>"
                             "<ROW id=\"2\" name=\"c\" lonlatarr=\"QUJDREVGRw\" categoryid=\"1\"/>";
    WriteFileAtomically(Dir / "marks.sml", Packet(kMarksFields, "<PARAMS AUTOINCVALUE=\"3\"/>", rows));
    Marks.LoadTableFile(Dir / "marks.sml");
    Marks.GoFirst();
    EXPECT_EQ(Marks.FieldNamed("name").AsText(), "b");
    EXPECT_TRUE(Marks.FieldNamed("lonlatarr").AsValue() == TFieldValue(std::string()));
    Marks.GoNext();
    std::string blob;
    Marks.FieldNamed("lonlatarr").WriteBlobTo(blob);
    EXPECT_EQ(blob, "ABCDEFG");
}

// Only a reader that slows down with the square of a value's size could take
// minutes here (a linear one takes about a second; the figure is in packet_bench).
TEST_F(TBadInput, AHugeAttributeReadsInLinearTime)
{
    std::string big = Packet(kMarksFields, "<PARAMS AUTOINCVALUE=\"2\"/>",
                             "<ROW id=\"1\" name=\"" + std::string(200u << 20, 'x') + "\" categoryid=\"1\"/>");
    [[maybe_unused]] auto start = std::chrono::steady_clock::now();
    Marks.SetPacketText(big);
    big.clear();
    big.shrink_to_fit();
#ifndef MARKS_SANITIZED
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::minutes(3));
#endif
    Marks.GoFirst();
    EXPECT_EQ(Marks.FieldNamed("name").AsText().size(), 200u << 20);
}

TEST_F(TBadInput, IconsThatAreNotPictures)
{
    fs::create_directories(Dir / "MarksIcons");
    WriteFileAtomically(Dir / "MarksIcons" / "a.png", std::string("\x89PNG\r\n\x1a\n", 8) + "truncated");
    WriteFileAtomically(Dir / "MarksIcons" / "b.PNG", "GIF89a");
    fs::create_directories(Dir / "MarksIcons" / "folder.png");
    TIconCache cache;
    std::string message = ErrorText([&] { LoadIcons(Dir, cache); });
    EXPECT_NE(message.find((Dir / "MarksIcons" / "a.png").string()), std::string::npos) << message;
    EXPECT_NE(message.find("is not a PNG picture"), std::string::npos);
    EXPECT_TRUE(cache.empty());
}
