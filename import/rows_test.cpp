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
    imported.Marks.back().FillColor = 0x00FF00;
    imported.Marks.back().IconHref = "C:\\icons\\flag.png";
    imported.Marks.push_back(Mark("", {{1.123456789, 2}}));
    imported.Skipped = 4;

    ASSERT_EQ(InsertImportedMarks(Marks, imported, Icons), 2);
    EXPECT_EQ(Marks.PendingChangeCount(), 2);
    EXPECT_EQ(Marks.RecordCount(), 2u);
    // Ordered by scale1 (the same for both), then name: the empty name first. Where
    // the file gives no colours, a point or area gets those the map application
    // gives points, and a line red.
    Marks.GoFirst();
    EXPECT_EQ(Marks.FieldNamed("name").AsText(), "");
    EXPECT_FALSE(Marks.FieldNamed("name").IsNull());
    EXPECT_TRUE(Marks.FieldNamed("descr").IsNull());
    EXPECT_FALSE(Marks.FieldNamed("picname").IsNull());
    EXPECT_EQ(Marks.FieldNamed("color1").AsInt(), 0x2060C0);
    EXPECT_EQ(Marks.FieldNamed("color2").AsInt(), 0x40A040);
    Marks.GoNext();
    EXPECT_EQ(Marks.FieldNamed("id").AsInt(), 1);
    EXPECT_EQ(Marks.FieldNamed("categoryid").AsInt(), 2);
    EXPECT_EQ(Marks.FieldNamed("descr").AsText(), "one\r\ntwo\r\nthree\r\nfour");
    EXPECT_EQ(Marks.FieldNamed("scale1").AsText(), "0");
    EXPECT_EQ(Marks.FieldNamed("scale2").AsText(), "24");
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
    EXPECT_EQ(ImportReportText(2, imported, {}), "Imported 2 marks.\nSkipped 4 features without coordinates.");
}

TEST_F(TRowsTest, TextInTheCodePageAndTheFieldWidths)
{
    EXPECT_EQ(Cp1251ToUtf8(ImportedText("Москва Ёж")), "Москва Ёж");
    // Characters the code page lacks: one "?" each, also outside the BMP.
    int replaced = 0;
    EXPECT_EQ(ImportedText("a\xE2\x82\xAC b? \xE4\xB8\xAD c \xF0\x9F\x98\x80 d", &replaced), "a\x88 b? ? c ? d");
    EXPECT_EQ(replaced, 2);
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
    imported.Marks.push_back(Mark(longName + "\xE4\xB8\xAD", {{1, 2}}));
    std::string yaName;
    for (int i = 0; i < 256; ++i)
        yaName += "Я";
    imported.Marks.push_back(Mark(yaName, {{1, 2}}));
    TRowNotes notes;
    InsertImportedMarks(Marks, imported, Icons, &notes);
    Marks.GoFirst();
    EXPECT_EQ(Marks.FieldNamed("name").AsText(), ImportedText(longName).substr(0, 255));
    EXPECT_EQ(notes.NamesCut, 2);
    EXPECT_EQ(notes.NameWidth, 255);
    EXPECT_EQ(notes.CharactersReplaced, 1);
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

    // A description is required here; the third of four marks has none, so its post
    // fails after two rows were posted.
    packet = EmptyMarksPacket();
    for (TStoredField& field : packet.Fields)
        field.Required = field.Name == "descr";
    Marks.SetPacketText(WriteXmlPacket(packet));
    imported.Marks.clear();
    for (const char* name : {"b", "c", "d", "e"}) {
        imported.Marks.push_back(Mark(name, {{1, 2}}));
        imported.Marks.back().Descr = name == std::string("d") ? "" : "text";
    }
    InsertImportedMarks(Marks, {{imported.Marks[0]}}, Icons);
    const std::string before = Marks.PacketText();
    EXPECT_EQ(ErrorText([&] { InsertImportedMarks(Marks, imported, Icons); }), "Field value required.");
    EXPECT_EQ(Marks.PacketText(), before); // the rows, the change log and the next id
    EXPECT_EQ(Marks.RecordCount(), 1u);
    EXPECT_EQ(Marks.PendingChangeCount(), 1);
    EXPECT_EQ(Marks.State(), TTableState::Browse);
    EXPECT_FALSE(Marks.ViewsSuspended());
}

TEST(TImportReport, SaysWhatTheImportChangedWithCountsInWords)
{
    EXPECT_EQ(ImportReportText(0, {}, {}), "Imported 0 marks.");
    TImportResult read;
    read.Skipped = 3;
    read.SkippedUnreadable = 1;
    read.PointsSkipped = 1;
    read.ClosedLines = 2;
    read.HolesDropped = 1;
    read.DescriptionsCut = 2;
    read.DocumentsNotRead = 1;
    EXPECT_EQ(ImportReportText(1, read, {1, 2, 255}),
              "Imported 1 mark.\n"
              "Skipped 2 features without coordinates.\n"
              "Skipped 1 feature whose coordinates are unreadable or out of range.\n"
              "Left out 1 point that is unreadable or out of range.\n"
              "Stored 2 closed lines as areas.\n"
              "Dropped 1 polygon hole.\n"
              "Replaced 1 character outside Windows-1251 by \"?\".\n"
              "Cut 2 names to 255 bytes, the width of the field.\n"
              "Cut 2 descriptions to 64 KB.\n"
              "Did not read 1 further KML document of the KMZ archive.");
    read = {};
    read.Skipped = 3;
    read.SkippedUnreadable = 2;
    read.PointsSkipped = 2;
    read.ClosedLines = 1;
    read.HolesDropped = 2;
    read.DescriptionsCut = 1;
    read.DocumentsNotRead = 2;
    EXPECT_EQ(ImportReportText(2, read, {2, 1, 255}),
              "Imported 2 marks.\n"
              "Skipped 1 feature without coordinates.\n"
              "Skipped 2 features whose coordinates are unreadable or out of range.\n"
              "Left out 2 points that are unreadable or out of range.\n"
              "Stored 1 closed line as an area.\n"
              "Dropped 2 polygon holes.\n"
              "Replaced 2 characters outside Windows-1251 by \"?\".\n"
              "Cut 1 name to 255 bytes, the width of the field.\n"
              "Cut 1 description to 64 KB.\n"
              "Did not read 2 further KML documents of the KMZ archive.");
}
