// Imported features as rows of the marks table.
#include <gtest/gtest.h>

#include <cmath>

#include "client_dataset.h"
#include "code_page.h"
#include "mark_geometry.h"
#include "mark_rows.h"
#include "marks_schema.h"
#include "test_helpers.h"

namespace {

struct TRowsTest : ::testing::Test {
    TClientDataSet Cats{CatsSchema()};
    TClientDataSet Marks{MarksSchema()};
    TIconCache Icons{{"Flag.PNG", {}}, {"camp.png", {}}, {"a-very-long-icon-name.png", {}}};

    void SetUp() override
    {
        Marks.SetMasterSource(&Cats, "id");
        TPacketContent cats = EmptyCatsPacket();
        TPacketContent marks = EmptyMarksPacket();
        Cats.SetPacketText(WritePacketText(cats));
        Marks.SetPacketText(WritePacketText(marks));
        for (const char* name : {"First", "Second"}) {
            Cats.BeginInsert();
            Cats.FieldNamed("name").SetAsText(name);
            Cats.PostRow();
        }
        Cats.MergeChanges();
        Cats.GoFirst();
        Cats.GoNext(); // "Second", id 2
    }

    static std::string WritePacketText(const TPacketContent& content) { return WriteXmlPacket(content); }

    static TImportedMark Mark(std::string name, std::vector<TLonLat> points)
    {
        TImportedMark mark;
        mark.Name = std::move(name);
        mark.Points = std::move(points);
        return mark;
    }
};

} // namespace

TEST_F(TRowsTest, RowsGoIntoTheCurrentCategoryThroughTheChangeLog)
{
    TImportResult imported;
    imported.Marks.push_back(Mark("Line", {{37.5, 55.25}, {-10, 60}, {20, -5.5}}));
    imported.Marks.back().Descr = "one\ntwo\r\nthree\rfour";
    imported.Marks.back().LineColor = 0x0000FF;
    imported.Marks.back().FillColor = 0x00FF00;
    imported.Marks.back().IconHref = "C:\\icons\\flag.png";
    imported.Marks.push_back(Mark("", {{1.123456789, 2}}));
    imported.Skipped = 4;

    ASSERT_EQ(InsertImportedMarks(Marks, imported, Icons), 2);
    EXPECT_EQ(Marks.PendingChangeCount(), 2);
    EXPECT_EQ(Marks.RecordCount(), 2u);
    // Ordered by scale1 (null for both), then name: the empty name first.
    Marks.GoFirst();
    EXPECT_EQ(Marks.FieldNamed("name").AsText(), "");
    EXPECT_FALSE(Marks.FieldNamed("name").IsNull());
    EXPECT_TRUE(Marks.FieldNamed("descr").IsNull());
    EXPECT_FALSE(Marks.FieldNamed("picname").IsNull());
    Marks.GoNext();
    EXPECT_EQ(Marks.FieldNamed("id").AsInt(), 1);
    EXPECT_EQ(Marks.FieldNamed("categoryid").AsInt(), 2);
    EXPECT_EQ(Marks.FieldNamed("descr").AsText(), "one\r\ntwo\r\nthree\r\nfour");
    EXPECT_TRUE(Marks.FieldNamed("scale1").IsNull());
    EXPECT_TRUE(Marks.FieldNamed("scale2").IsNull());
    EXPECT_TRUE(Marks.FieldNamed("visible").AsFlag());
    EXPECT_EQ(Marks.FieldNamed("picname").AsText(), "Flag.PNG");
    EXPECT_EQ(Marks.FieldNamed("color1").AsInt(), 255);
    EXPECT_EQ(Marks.FieldNamed("color2").AsInt(), 65280);
    EXPECT_EQ(Marks.FieldNamed("lonL").AsText(), "-10");
    EXPECT_EQ(Marks.FieldNamed("LonR").AsText(), "37.5");
    EXPECT_EQ(Marks.FieldNamed("latT").AsText(), "60");
    EXPECT_EQ(Marks.FieldNamed("LatB").AsText(), "-5.5");
    TMarkData mark = ReadCurrentMark(Marks);
    ASSERT_EQ(mark.points.size(), 3u);
    EXPECT_EQ(ShapeOf(mark.points), msLine);
    EXPECT_EQ(mark.points[0].Lon, 37.5L);
    EXPECT_EQ(mark.points[2].Lat, -5.5L);

    // The other category is untouched; the ids go on from the table's next value.
    Cats.GoFirst();
    EXPECT_EQ(Marks.RecordCount(), 0u);
    InsertImportedMarks(Marks, imported, Icons);
    Marks.GoFirst();
    Marks.GoNext();
    EXPECT_EQ(Marks.FieldNamed("id").AsInt(), 3);
    EXPECT_EQ(Marks.FieldNamed("categoryid").AsInt(), 1);
    EXPECT_EQ(ImportCountText(2, 4), "Imported 2 marks; 4 features skipped");
}

TEST_F(TRowsTest, TextInTheCodePageAndTheFieldWidths)
{
    EXPECT_EQ(Cp1251ToUtf8(ImportedText("Москва Ёж")), "Москва Ёж");
    // Characters the code page lacks: one "?" each, also outside the BMP.
    EXPECT_EQ(ImportedText("a\xE2\x82\xAC b \xE4\xB8\xAD c \xF0\x9F\x98\x80 d"), "a\x88 b ? c ? d");
    EXPECT_EQ(ImportedIconName("camp.png", Icons, 20), "camp.png");
    EXPECT_EQ(ImportedIconName("files/FLAG.png", Icons, 20), "Flag.PNG");
    EXPECT_EQ(ImportedIconName("my%20dir/Camp.png", Icons, 20), "camp.png");
    EXPECT_EQ(ImportedIconName("hut.png", Icons, 20), "");
    EXPECT_EQ(ImportedIconName("", Icons, 20), "");
    EXPECT_EQ(ImportedIconName("a-very-long-icon-name.png", Icons, 20), "");

    TImportResult imported;
    std::string longName;
    for (int i = 0; i < 100; ++i)
        longName += "Жук"; // 300 letters, 600 bytes of UTF-8
    imported.Marks.push_back(Mark(longName, {{1, 2}}));
    InsertImportedMarks(Marks, imported, Icons);
    Marks.GoFirst();
    EXPECT_EQ(Marks.FieldNamed("name").AsText(), ImportedText(longName).substr(0, 255));
}

TEST_F(TRowsTest, AFailedPostLeavesTheTableAsItWas)
{
    TPacketContent packet = EmptyMarksPacket();
    packet.Params.push_back({"DISABLE_INSERTS", "boolean", "TRUE", false});
    Marks.SetPacketText(WriteXmlPacket(packet));
    TImportResult imported;
    imported.Marks.push_back(Mark("a", {{1, 2}}));
    EXPECT_EQ(ErrorText([&] { InsertImportedMarks(Marks, imported, Icons); }), "CDMarks: Inserts are not allowed");
    EXPECT_EQ(Marks.PendingChangeCount(), 0);
    EXPECT_EQ(Marks.State(), TTableState::Browse);
}
