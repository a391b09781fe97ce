#include "client_dataset.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "file_io.h"
#include "marks_error.h"
#include "marks_schema.h"
#include "test_helpers.h"
#include "packet_test_support.h"

using namespace packet_test;

namespace {

TStoredRow Cat(std::int64_t id, std::string name, bool visible = true)
{
    return {0, {id, std::move(name), visible, TFieldValue{}, TFieldValue{}}};
}

TStoredRow Mark(std::int64_t id, std::string name, std::int64_t category, std::int64_t scale1 = 0)
{
    return {0,
            {id, std::move(name), TFieldValue{}, scale1, TFieldValue{}, TFieldValue{}, TFieldValue{}, TFieldValue{},
             TFieldValue{}, TFieldValue{}, TFieldValue{}, TFieldValue{}, true, std::string(), category}};
}

std::string CatsPacket(std::vector<TStoredRow> rows, std::int64_t next = 100)
{
    TPacketContent c = CategoriesContent();
    c.Rows = std::move(rows);
    c.AutoIncValue = next;
    return WriteXmlPacket(c);
}

std::string MarksPacket(std::vector<TStoredRow> rows, std::int64_t next = 100)
{
    TPacketContent c = MarksContent();
    c.Rows = std::move(rows);
    c.AutoIncValue = next;
    return WriteXmlPacket(c);
}

// The values of one field over the whole view, in view order.
std::vector<std::string> Column(TClientDataSet& t, const char* field)
{
    std::vector<std::string> out;
    for (t.GoFirst(); !t.AtEnd(); t.GoNext())
        out.push_back(t.FieldNamed(field).AsText());
    return out;
}

struct TLinkedTables : ::testing::Test {
    TClientDataSet Cats{CatsSchema()};
    TClientDataSet Marks{MarksSchema()};

    void SetUp() override
    {
        Marks.SetMasterSource(&Cats, "id");
        Cats.SetPacketText(CatsPacket({Cat(1, "Water"), Cat(5, "Camps"), Cat(7, "Empty")}));
        Marks.SetPacketText(MarksPacket({Mark(10, "Well", 1, 2), Mark(11, "Spring", 1, 1), Mark(12, "Brook", 1, 2),
                                         Mark(20, "North camp", 5), Mark(21, "South camp", 5)}));
    }

    void GoToCategory(const char* name)
    {
        for (Cats.GoFirst(); !Cats.AtEnd(); Cats.GoNext())
            if (Cats.FieldNamed("name").AsText() == name)
                return;
        FAIL() << "no category " << name;
    }
};

struct TCountingObserver : TDataSetObserver {
    int Calls = 0;
    void DataSetChanged(TClientDataSet&) override { ++Calls; }
};

} // namespace

TEST(ClientDataSet, AutoIncrementIdsIgnoreWhatTheRowHeld)
{
    TClientDataSet cats(CatsSchema());
    cats.SetPacketText(CatsPacket({Cat(1, "a")}, 10));
    cats.BeginInsert();
    cats.FieldNamed("name").SetAsText("first");
    EXPECT_EQ(ErrorText([&] { cats.FieldNamed("id").SetAsText("3"); }), "Field 'id' cannot be modified");
    cats.PostRow();
    EXPECT_EQ(cats.FieldNamed("id").AsInt(), 10);
    cats.BeginInsert();
    cats.FieldNamed("name").SetAsText("second");
    cats.PostRow();
    EXPECT_EQ(cats.FieldNamed("id").AsInt(), 11);
    EXPECT_EQ(cats.Content().AutoIncValue, 12);

    // A packet without AUTOINCVALUE starts at 1.
    std::string packet = CatsPacket({});
    packet.replace(packet.find(" AUTOINCVALUE=\"100\""), 19, "");
    cats.SetPacketText(packet);
    cats.BeginInsert();
    cats.FieldNamed("name").SetAsText("x");
    cats.PostRow();
    EXPECT_EQ(cats.FieldNamed("id").AsInt(), 1);
}

TEST(ClientDataSet, PendingChangeCountNetsOutHistories)
{
    TClientDataSet cats(CatsSchema());
    cats.SetPacketText(CatsPacket({Cat(1, "a"), Cat(2, "b"), Cat(3, "c")}));
    EXPECT_EQ(cats.PendingChangeCount(), 0);

    cats.GoFirst();
    for (const char* name : {"a1", "a2", "a3"}) {
        cats.BeginEdit();
        cats.FieldNamed("name").SetAsText(name);
        cats.PostRow();
    }
    EXPECT_EQ(cats.PendingChangeCount(), 1);

    // Changed and changed back counts nothing.
    cats.BeginEdit();
    cats.FieldNamed("name").SetAsText("a");
    cats.PostRow();
    EXPECT_EQ(cats.PendingChangeCount(), 0);

    cats.BeginInsert();
    cats.FieldNamed("name").SetAsText("new");
    cats.PostRow();
    EXPECT_EQ(cats.PendingChangeCount(), 1);
    cats.BeginEdit();
    cats.FieldNamed("visible").SetAsText("f");
    cats.PostRow();
    EXPECT_EQ(cats.PendingChangeCount(), 1);
    cats.DeleteRow();
    EXPECT_EQ(cats.PendingChangeCount(), 0);

    cats.GoFirst();
    cats.BeginEdit();
    cats.FieldNamed("name").SetAsText("edited then deleted");
    cats.PostRow();
    cats.DeleteRow();
    EXPECT_EQ(cats.PendingChangeCount(), 1);

    cats.MergeChanges();
    EXPECT_EQ(cats.PendingChangeCount(), 0);
    EXPECT_EQ(Column(cats, "name"), (std::vector<std::string>{"b", "c"}));
}

TEST(ClientDataSet, StringOrderIsAlphabeticalWithCaseAsTieBreak)
{
    TClientDataSet cats(CatsSchema());
    cats.SetPacketText(CatsPacket({Cat(4, "banana"), Cat(3, "apple"), Cat(1, "Apple"), Cat(9, "Cherry"), Cat(2, "Cherry"),
                                   Cat(5, "\xe1\xe5\xf0\xe5\xe7\xe0"), Cat(6, "\xe0\xe9\xe2\xe0")}));
    std::vector<std::string> names = Column(cats, "name");
    std::vector<std::string> ids = Column(cats, "id");
    ASSERT_EQ(names.size(), 7u);
    EXPECT_EQ(names[2], "banana");
    EXPECT_TRUE((names[0] == "apple" && names[1] == "Apple") || (names[0] == "Apple" && names[1] == "apple"));
    EXPECT_EQ(names[3], "Cherry");
    EXPECT_EQ(ids[3], "2");
    EXPECT_EQ(ids[4], "9");
    EXPECT_EQ(names[5], "\xe0\xe9\xe2\xe0"); // Cyrillic after Latin, alphabetical
}

TEST_F(TLinkedTables, DetailFollowsTheMasterInOrder)
{
    GoToCategory("Water");
    EXPECT_EQ(Column(Marks, "name"), (std::vector<std::string>{"Spring", "Brook", "Well"}));
    GoToCategory("Camps");
    EXPECT_EQ(Marks.RecordCount(), 2u);
    EXPECT_EQ(Marks.FieldNamed("name").AsText(), "North camp");
    EXPECT_EQ(Marks.RowNumber(), 1u);
    GoToCategory("Empty");
    EXPECT_EQ(Marks.RecordCount(), 0u);
    EXPECT_TRUE(Marks.AtEnd());
    EXPECT_TRUE(Marks.FieldNamed("name").IsNull());

    // Deleting a category leaves its marks stored.
    GoToCategory("Water");
    Cats.DeleteRow();
    Marks.MergeChanges();
    EXPECT_EQ(Marks.Content().Rows.size(), 5u);
}

TEST_F(TLinkedTables, InsertedMarkBelongsToTheCurrentCategory)
{
    GoToCategory("Camps");
    Marks.BeginInsert();
    EXPECT_EQ(Marks.FieldNamed("categoryid").AsInt(), 5);
    Marks.FieldNamed("name").SetAsText("Alpha camp");
    Marks.PostRow();
    EXPECT_EQ(Column(Marks, "name"), (std::vector<std::string>{"Alpha camp", "North camp", "South camp"}));

    // A new category not yet posted shows no marks; once posted it has its id.
    Cats.BeginInsert();
    EXPECT_EQ(Marks.RecordCount(), 0u);
    Cats.FieldNamed("name").SetAsText("Fresh");
    Cats.PostRow();
    EXPECT_EQ(Cats.FieldNamed("id").AsInt(), 100);
    Marks.BeginInsert();
    EXPECT_EQ(Marks.FieldNamed("categoryid").AsInt(), 100);
    Marks.CancelRow();
}

TEST_F(TLinkedTables, SuspendedMasterLeavesTheDetailAlone)
{
    GoToCategory("Water");
    Marks.GoBy(2);
    ASSERT_EQ(Marks.FieldNamed("name").AsText(), "Well");
    Cats.SuspendViews();
    Cats.GoFirst();
    Cats.GoNext();
    Cats.GoNext();
    EXPECT_EQ(Marks.FieldNamed("name").AsText(), "Well");
    GoToCategory("Water");
    Cats.ResumeViews();
    EXPECT_EQ(Marks.FieldNamed("name").AsText(), "Well");

    // Resuming on another category makes the detail follow once.
    TCountingObserver observer;
    Marks.AddObserver(&observer);
    Cats.SuspendViews();
    Cats.SuspendViews();
    GoToCategory("Camps");
    Cats.ResumeViews();
    EXPECT_EQ(Marks.FieldNamed("name").AsText(), "Well");
    Cats.ResumeViews();
    EXPECT_EQ(Marks.FieldNamed("name").AsText(), "North camp");
    EXPECT_EQ(observer.Calls, 1);
    Marks.RemoveObserver(&observer);
}

TEST_F(TLinkedTables, PostingMovesTheRowAndTheViewFollowsIt)
{
    GoToCategory("Water");
    Marks.GoFirst(); // Spring, scale 1
    Marks.BeginEdit();
    Marks.FieldNamed("scale1").SetAsText("3");
    Marks.PostRow();
    EXPECT_EQ(Marks.FieldNamed("name").AsText(), "Spring");
    EXPECT_EQ(Marks.RowNumber(), 3u);

    // Moving a mark to another category takes it out of this view.
    Marks.GoFirst();
    Marks.BeginEdit();
    Marks.FieldNamed("categoryid").SetAsText("5");
    Marks.PostRow();
    EXPECT_EQ(Column(Marks, "name"), (std::vector<std::string>{"Well", "Spring"}));
    GoToCategory("Camps");
    EXPECT_EQ(Column(Marks, "name"), (std::vector<std::string>{"North camp", "South camp", "Brook"}));

    // Moving the master settles a pending detail edit first.
    Marks.GoFirst();
    Marks.BeginEdit();
    Marks.FieldNamed("name").SetAsText("Zebra");
    GoToCategory("Water");
    GoToCategory("Camps");
    EXPECT_EQ(Column(Marks, "name"), (std::vector<std::string>{"South camp", "Zebra", "Brook"}));
}

TEST_F(TLinkedTables, DeletingMovesToTheNextOrPreviousRow)
{
    GoToCategory("Water");
    Marks.GoFirst();
    Marks.DeleteRow();
    EXPECT_EQ(Marks.FieldNamed("name").AsText(), "Brook");
    Marks.GoBy(5);
    Marks.DeleteRow();
    EXPECT_EQ(Marks.FieldNamed("name").AsText(), "Brook");
    Marks.DeleteRow();
    EXPECT_EQ(Marks.RecordCount(), 0u);
    EXPECT_EQ(ErrorText([&] { Marks.DeleteRow(); }), "CDMarks: Cannot perform this operation on an empty dataset");
    EXPECT_EQ(Marks.PendingChangeCount(), 3);
}

TEST_F(TLinkedTables, RowReferencesLeadBackToTheirRows)
{
    GoToCategory("Water");
    Marks.GoFirst();
    TRowRef spring = Marks.CurrentRowRef();
    Marks.GoNext();
    TRowRef brook = Marks.CurrentRowRef();
    Marks.GoNext();
    TRowRef well = Marks.CurrentRowRef();
    EXPECT_EQ(TClientDataSet::CompareRowRefs(spring, brook), -1);
    EXPECT_EQ(TClientDataSet::CompareRowRefs(TRowRef{}, spring), -1);

    // Other rows inserted, edited, deleted and moved away in between.
    Marks.BeginInsert();
    Marks.FieldNamed("name").SetAsText("Aaa");
    Marks.PostRow();
    ASSERT_TRUE(Marks.GoToRow(brook));
    Marks.DeleteRow();
    ASSERT_TRUE(Marks.GoToRow(spring));
    EXPECT_EQ(Marks.FieldNamed("name").AsText(), "Spring");
    ASSERT_TRUE(Marks.GoToRow(well));
    EXPECT_EQ(Marks.FieldNamed("name").AsText(), "Well");
    GoToCategory("Camps");
    GoToCategory("Water");
    ASSERT_TRUE(Marks.GoToRow(well));
    EXPECT_EQ(Marks.FieldNamed("name").AsText(), "Well");

    // References survive a merge.
    Marks.MergeChanges();
    Marks.GoFirst();
    Marks.DeleteRow();
    ASSERT_TRUE(Marks.GoToRow(spring));
    EXPECT_EQ(Marks.FieldNamed("name").AsText(), "Spring");

    // Not a reopening (Reindex, Load), after which their row numbers name other rows.
    GoToCategory("Camps");
    const TRowRef north = Marks.CurrentRowRef();
    Marks.SetPacketText(Marks.PacketText());
    EXPECT_FALSE(Marks.GoToRow(north));
}

TEST(ClientDataSet, TextAssignment)
{
    TClientDataSet cats(CatsSchema());
    TClientDataSet marks(MarksSchema());
    cats.SetPacketText(CatsPacket({Cat(1, "a")}));
    marks.SetPacketText(MarksPacket({Mark(1, "m", 1)}));
    EXPECT_EQ(ErrorText([&] { marks.FieldNamed("scale1").SetAsText("4"); }), "CDMarks: Dataset not in edit or insert mode");
    marks.BeginEdit();
    EXPECT_EQ(ErrorText([&] { marks.FieldNamed("scale1").SetAsText("abc"); }),
              "'abc' is not a valid integer value for field 'scale1'");
    EXPECT_EQ(ErrorText([&] { marks.FieldNamed("scale1").SetAsText("12 "); }),
              "'12 ' is not a valid integer value for field 'scale1'");
    EXPECT_EQ(ErrorText([&] { marks.FieldNamed("scale1").SetAsText("3000000000"); }),
              "'3000000000' is not a valid integer value for field 'scale1'");
    marks.FieldNamed("scale1").SetAsText(" -$1F");
    EXPECT_EQ(marks.FieldNamed("scale1").AsInt(), -31);
    marks.FieldNamed("scale1").SetAsText("");
    EXPECT_TRUE(marks.FieldNamed("scale1").IsNull());
    EXPECT_EQ(ErrorText([&] { marks.FieldNamed("lonL").SetAsText("1,5"); }),
              "'1,5' is not a valid floating point value for field 'lonL'");
    marks.FieldNamed("lonL").SetAsText(" 37.5e1 ");
    EXPECT_EQ(marks.FieldNamed("lonL").AsText(), "375");
    marks.FieldNamed("lonL").SetAsText("0.000001");
    EXPECT_EQ(marks.FieldNamed("lonL").AsText(), "1E-6");
    marks.FieldNamed("name").SetAsText(std::string(300, 'x'));
    EXPECT_EQ(marks.FieldNamed("name").AsText().size(), 255u);
    marks.FieldNamed("picname").SetAsText("");
    EXPECT_FALSE(marks.FieldNamed("picname").IsNull());
    marks.FieldNamed("descr").SetAsText("");
    EXPECT_TRUE(marks.FieldNamed("descr").IsNull());
    EXPECT_EQ(marks.FieldNamed("descr").AsValue(), TFieldValue(std::string()));

    cats.BeginEdit();
    EXPECT_EQ(ErrorText([&] { cats.FieldNamed("AfterScale").SetAsText("40000"); }),
              "40000 is not a valid value for field 'AfterScale'. The allowed range is -32768 to 32767");
    for (const char* yes : {"t", "TRU", "True"}) {
        cats.FieldNamed("visible").SetAsText(yes);
        EXPECT_EQ(cats.FieldNamed("visible").AsText(), "True");
    }
    for (const char* no : {"f", "FAL"}) {
        cats.FieldNamed("visible").SetAsText(no);
        EXPECT_EQ(cats.FieldNamed("visible").AsText(), "False");
    }
    EXPECT_EQ(ErrorText([&] { cats.FieldNamed("visible").SetAsText("Falsey"); }),
              "'Falsey' is not a valid boolean value for field 'visible'");
    cats.FieldNamed("visible").SetAsText("");
    EXPECT_TRUE(cats.FieldNamed("visible").IsNull());
    EXPECT_FALSE(cats.FieldNamed("visible").AsFlag());
}

TEST(ClientDataSet, ClosedTablesAndBindingFailures)
{
    TClientDataSet marks(MarksSchema());
    EXPECT_EQ(marks.PacketText(), "");
    EXPECT_EQ(marks.PendingChangeCount(), 0);
    EXPECT_EQ(marks.FieldNamed("name").AsText(), "");
    EXPECT_EQ(marks.FieldNamed("color1").AsInt(), 0);
    std::string blob;
    marks.FieldNamed("lonlatarr").WriteBlobTo(blob);
    EXPECT_TRUE(blob.empty());
    EXPECT_EQ(ErrorText([&] { marks.GoFirst(); }), "CDMarks: Cannot perform this operation on a closed dataset");
    EXPECT_EQ(ErrorText([&] { marks.MergeChanges(); }), "CDMarks: Cannot perform this operation on a closed dataset");
    EXPECT_EQ(ErrorText([&] { marks.FieldNamed("nope"); }), "CDMarks: Field 'nope' not found");

    TPacketContent noPicname = MarksContent();
    noPicname.Fields.erase(noPicname.Fields.begin() + 13);
    EXPECT_EQ(ErrorText([&] { marks.SetPacketText(WriteXmlPacket(noPicname)); }), "CDMarks: Field 'picname' not found");
    EXPECT_FALSE(marks.IsOpen());

    TPacketContent wrongType = MarksContent();
    wrongType.Fields[3] = Field("scale1", "string", {}, 10);
    EXPECT_EQ(ErrorText([&] { marks.SetPacketText(WriteXmlPacket(wrongType)); }),
              "CDMarks: Type mismatch for field 'scale1', expecting: Integer actual: String");

    // Names bind without regard to case; a narrower stored string narrows the field.
    TPacketContent other = MarksContent();
    other.Fields[13] = Field("PICNAME", "string", {}, 12);
    other.Fields[3] = Field("scale1", "i2");
    marks.SetPacketText(WriteXmlPacket(other));
    EXPECT_EQ(marks.FieldNamed("picname").Size(), 12);
    EXPECT_EQ(ErrorText([&] { marks.SetPacketText("<DATAPACKET/>"); }), "Datapacket contains no meta data.");
    EXPECT_FALSE(marks.IsOpen());
}

TEST(ClientDataSet, DisabledOperationsAndRequiredFields)
{
    TPacketContent c = CategoriesContent();
    c.Rows = {Cat(1, "a")};
    c.Params = {{"DISABLE_EDITS", "boolean", "TRUE", false},
                {"DISABLE_INSERTS", "boolean", "true", false},
                {"DISABLE_DELETES", "boolean", "True", false}};
    TClientDataSet cats(CatsSchema());
    cats.SetPacketText(WriteXmlPacket(c));
    EXPECT_EQ(ErrorText([&] { cats.BeginEdit(); }), "CDCats: Modifications are not allowed");
    EXPECT_EQ(ErrorText([&] { cats.BeginInsert(); }), "CDCats: Inserts are not allowed");
    EXPECT_EQ(ErrorText([&] { cats.DeleteRow(); }), "CDCats: Deletes are not allowed");

    c = CategoriesContent();
    c.Fields[1].Required = true;
    c.AutoIncValue = 5;
    cats.SetPacketText(WriteXmlPacket(c));
    cats.BeginInsert();
    cats.FieldNamed("visible").SetAsText("t");
    EXPECT_EQ(ErrorText([&] { cats.PostRow(); }), "Field value required.");
    cats.FieldNamed("name").SetAsText("named");
    cats.PostRow();
    EXPECT_EQ(cats.FieldNamed("id").AsInt(), 5); // the failed post took no id
}

TEST(ClientDataSet, FilesAndPacketText)
{
    const auto dir = std::filesystem::temp_directory_path() / "marks-dataset-test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    TClientDataSet cats(CatsSchema());
    cats.SaveTableXml(dir / "never.sml");
    EXPECT_FALSE(std::filesystem::exists(dir / "never.sml"));

    cats.SetPacketText(CatsPacket({Cat(1, "a")}));
    cats.GoFirst();
    cats.BeginEdit();
    cats.FieldNamed("name").SetAsText("spaced  ");
    // Saving in edit state posts the edit first; without a merge the log is written.
    cats.SaveTableXml(dir / "cats.sml");
    EXPECT_EQ(cats.State(), TTableState::Browse);
    std::string saved = ReadWholeFile(dir / "cats.sml");
    EXPECT_NE(saved.find("CHANGE_LOG=\"2 1 8\""), std::string::npos);
    EXPECT_NE(saved.find("<ROW RowState=\"1\" id=\"1\" name=\"a\" visible=\"TRUE\"/>"
                         "<ROW RowState=\"8\" id=\"1\" name=\"spaced  \" visible=\"TRUE\"/>"),
              std::string::npos);

    // The pending log survives a reload and the packet text.
    TClientDataSet again(CatsSchema());
    again.LoadTableFile(dir / "cats.sml");
    EXPECT_EQ(again.PendingChangeCount(), 1);
    again.SetPacketText(again.PacketText());
    EXPECT_EQ(again.PendingChangeCount(), 1);
    EXPECT_EQ(again.PacketText(), saved);
    again.MergeChanges();
    again.SaveTableXml(dir / "cats.sml");
    again.LoadTableFile(dir / "cats.sml");
    EXPECT_EQ(Column(again, "name"), (std::vector<std::string>{"spaced  "}));
    EXPECT_EQ(again.PendingChangeCount(), 0);

    std::ofstream(dir / "empty.sml").close();
    EXPECT_EQ(ErrorText([&] { again.LoadTableFile(dir / "empty.sml"); }), "CDCats: Missing data provider or data packet");
    EXPECT_FALSE(again.IsOpen());
    EXPECT_EQ(ErrorText([&] { again.LoadTableFile(dir / "missing.sml"); }),
              "Cannot open file \"" + (dir / "missing.sml").string() + "\". No such file or directory.");

    // A target that cannot be written leaves the old file and no temporary file.
    cats.MergeChanges();
    std::filesystem::create_directories(dir / "blocked.sml");
    EXPECT_NE(ErrorText([&] { cats.SaveTableXml(dir / "blocked.sml"); }).find("Cannot create file"), std::string::npos);
    EXPECT_NE(ErrorText([&] { cats.SaveTableXml(dir / "cats.sml" / "below"); }).find("Cannot create file"),
              std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 3);
    std::filesystem::remove_all(dir);
}

// Reads by position serve the grids: they never move the cursor or settle an edit.
TEST_F(TLinkedTables, ReadingByPositionLeavesTheCursor)
{
    Cats.SetPacketText(CatsPacket({Cat(1, "a"), Cat(2, "b"), Cat(3, "c")}));
    Cats.GoBy(1);
    TField& name = Cats.FieldNamed("name");
    EXPECT_EQ(name.TextAt(0), "a");
    EXPECT_EQ(name.TextAt(2), "c");
    EXPECT_EQ(name.TextAt(3), ""); // past the view: null
    EXPECT_TRUE(IsNullValue(name.ValueAt(99)));
    EXPECT_EQ(std::get<bool>(Cats.FieldNamed("visible").ValueAt(0)), true);
    EXPECT_EQ(Cats.RowNumber(), 2u);

    // The row being edited reads as edited, the others as stored.
    Cats.BeginEdit();
    name.SetAsText("bb");
    EXPECT_EQ(name.TextAt(1), "bb");
    EXPECT_EQ(name.TextAt(0), "a");
    EXPECT_EQ(Cats.State(), TTableState::Edit);

    const TRowRef third = Cats.RowRefAt(2);
    EXPECT_FALSE(Cats.RowRefAt(3).IsSet());
    EXPECT_EQ(TClientDataSet::CompareRowRefs(Cats.RowRefAt(0), third), -1);
    Cats.PostRow();
    ASSERT_TRUE(Cats.GoToRow(third));
    EXPECT_EQ(name.AsText(), "c");

    TClientDataSet closed{CatsSchema()};
    EXPECT_EQ(closed.FieldNamed("name").TextAt(0), "");
    EXPECT_FALSE(closed.RowRefAt(0).IsSet());
}

// A control holding text not yet assigned gets its say before every post.
TEST_F(TLinkedTables, ObserversAssignPendingTextBeforeAPost)
{
    struct TPending : TDataSetObserver {
        TClientDataSet& Table;
        std::string Text;
        int Calls = 0;
        explicit TPending(TClientDataSet& t) : Table(t) {}
        void DataSetChanged(TClientDataSet&) override {}
        void UpdateRecord(TClientDataSet&) override
        {
            ++Calls;
            if (!Text.empty())
                Table.FieldNamed("name").SetAsText(std::exchange(Text, {}));
        }
    } pending(Cats);
    Cats.SetPacketText(CatsPacket({Cat(1, "a"), Cat(2, "b")}));
    Cats.AddObserver(&pending);

    // An edit with nothing assigned yet is posted, not cancelled, when the
    // control assigns its text on the way.
    Cats.BeginEdit();
    pending.Text = "z";
    Cats.GoNext();
    EXPECT_EQ(Column(Cats, "name"), (std::vector<std::string>{"b", "z"}));
    EXPECT_EQ(Cats.PendingChangeCount(), 1);

    Cats.GoFirst();
    Cats.BeginEdit();
    pending.Text = "y";
    Cats.PostRow();
    EXPECT_EQ(Column(Cats, "name"), (std::vector<std::string>{"y", "z"}));
    EXPECT_GE(pending.Calls, 2);
    Cats.RemoveObserver(&pending);
}

TEST(ClientDataSet, RefusedDeleteKeepsThePendingEdit)
{
    TPacketContent c = CategoriesContent();
    c.Rows = {Cat(1, "a")};
    c.Params = {{"DISABLE_DELETES", "boolean", "TRUE", false}};
    TClientDataSet cats(CatsSchema());
    cats.SetPacketText(WriteXmlPacket(c));
    cats.BeginEdit();
    cats.FieldNamed("name").SetAsText("edited");
    EXPECT_EQ(ErrorText([&] { cats.DeleteRow(); }), "CDCats: Deletes are not allowed");
    EXPECT_EQ(cats.State(), TTableState::Edit);
    EXPECT_EQ(cats.FieldNamed("name").AsText(), "edited");
    cats.PostRow();
    EXPECT_EQ(Column(cats, "name"), (std::vector<std::string>{"edited"}));

    // An empty view refuses as well, and the table stays as it was.
    TClientDataSet empty(CatsSchema());
    empty.SetPacketText(CatsPacket({}));
    EXPECT_EQ(ErrorText([&] { empty.DeleteRow(); }), "CDCats: Cannot perform this operation on an empty dataset");
    EXPECT_EQ(empty.PendingChangeCount(), 0);
}

TEST(ClientDataSet, ALoggedHistoryReadBackMergesToEveryVisibleRow)
{
    TClientDataSet cats(CatsSchema());
    cats.SetPacketText(CatsPacket({Cat(1, "a"), Cat(2, "b"), Cat(3, "c")}));
    auto rename = [&](const char* from, const char* to) {
        for (cats.GoFirst(); cats.FieldNamed("name").AsText() != from; cats.GoNext()) {
        }
        cats.BeginEdit();
        cats.FieldNamed("name").SetAsText(to);
        cats.PostRow();
    };
    rename("a", "a2");
    rename("a2", "a3");
    rename("b", "b2");
    cats.GoFirst();
    cats.GoNext(); // b2
    cats.DeleteRow();
    cats.BeginInsert();
    cats.FieldNamed("name").SetAsText("d");
    cats.PostRow();

    // Read back with its log, changed once more, merged and written.
    TClientDataSet again(CatsSchema());
    again.SetPacketText(cats.PacketText());
    EXPECT_EQ(again.PendingChangeCount(), 3);
    again.GoFirst();
    again.BeginEdit();
    again.FieldNamed("name").SetAsText("a4");
    again.PostRow();
    again.MergeChanges();
    EXPECT_EQ(Column(again, "name"), (std::vector<std::string>{"a4", "c", "d"}));
    TPacketContent written = ReadPacket(again.PacketText());
    ASSERT_EQ(written.Rows.size(), 3u);
    EXPECT_TRUE(written.ChangeLog.empty());
}
