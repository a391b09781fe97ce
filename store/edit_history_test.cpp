#include "edit_history.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "file_io.h"
#include "mark_drop.h"
#include "marks_schema.h"
#include "packet_test_support.h"
#include "reindex.h"
#include "test_helpers.h"

using namespace packet_test;

namespace {

TStoredRow Mark(std::int64_t id, std::string name, std::int64_t category, std::int64_t scale1)
{
    return {0,
            {id, std::move(name), std::string("about ") + std::to_string(id), scale1, TFieldValue{}, std::string("\x01\x02"),
             1.5, TFieldValue{}, TFieldValue{}, TFieldValue{}, TFieldValue{}, TFieldValue{}, true, std::string("flag.png"),
             category}};
}

std::string CatsPacket()
{
    TPacketContent c = CategoriesContent();
    for (auto [id, name] : {std::pair{1, "Water"}, {5, "Camps"}, {7, "Empty"}})
        c.Rows.push_back({0, {std::int64_t{id}, std::string(name), true, TFieldValue{}, TFieldValue{}}});
    c.AutoIncValue = 8;
    return WriteXmlPacket(c);
}

// Water holds two marks whose keys tie (Well, scale 2), so the order among equals
// is seen to come back too.
std::string MarksPacket()
{
    TPacketContent m = MarksContent();
    m.Rows = {Mark(10, "Well", 1, 2), Mark(11, "Spring", 1, 1), Mark(12, "Well", 1, 2), Mark(13, "Brook", 1, 3),
              Mark(20, "North camp", 5, 0), Mark(21, "South camp", 5, 0)};
    m.AutoIncValue = 30;
    return WriteXmlPacket(m);
}

// A window's tables and their history; Water and its first mark are current.
struct TWindow {
    TClientDataSet Cats{CatsSchema()};
    TClientDataSet Marks{MarksSchema()};
    TEditHistory History{{{&Cats, "Category", "Categories"}, {&Marks, "Mark", "Marks"}}};

    TWindow()
    {
        Marks.SetMasterSource(&Cats, "id");
        Cats.SetPacketText(CatsPacket());
        Marks.SetPacketText(MarksPacket());
        Cats.GoToId(1);
    }

    // Makes the row current; a mark together with its category.
    void Go(TClientDataSet& t, std::int64_t id)
    {
        if (&t == &Marks)
            for (Cats.GoFirst(); !Cats.AtEnd() && !Marks.GoToId(id); Cats.GoNext()) {
            }
        ASSERT_TRUE(t.GoToId(id)) << id;
    }
    void Edit(TClientDataSet& t, std::int64_t id, const char* field, const std::string& text)
    {
        Go(t, id);
        t.BeginEdit();
        t.FieldNamed(field).SetAsText(text);
        t.PostRow();
    }
    std::vector<TRowRef> Select(std::initializer_list<std::int64_t> ids)
    {
        std::vector<TRowRef> refs;
        for (std::int64_t id : ids) {
            Go(Marks, id);
            refs.push_back(Marks.CurrentRowRef());
        }
        std::sort(refs.begin(), refs.end(), [](auto& a, auto& b) { return TClientDataSet::CompareRowRefs(a, b) < 0; });
        return refs;
    }
};

std::string Ids(TClientDataSet& t)
{
    std::string ids;
    for (std::size_t p = 0; p < t.RecordCount(); ++p)
        ids += t.FieldNamed("id").TextAt(p) + ",";
    return ids;
}

// Everything undo must put back: both packets with their change logs, the pending
// counts and the order of every category's marks. The current rows stay.
std::string State(TWindow& w)
{
    std::string s = w.Cats.PacketText() + w.Marks.PacketText() + "|pending " +
                    std::to_string(w.Cats.PendingChangeCount()) + "," + std::to_string(w.Marks.PendingChangeCount());
    const TFieldValue cat = w.Cats.CurrentId(), mark = w.Marks.CurrentId();
    s += "|" + Ids(w.Cats);
    for (w.Cats.GoFirst(); !w.Cats.AtEnd(); w.Cats.GoNext())
        s += "|" + Ids(w.Marks);
    w.Cats.GoToId(cat);
    w.Marks.GoToId(mark);
    return s;
}

// The rows in use ordered by id with their values: what undo across a save puts back.
std::string RowsById(const TClientDataSet& t)
{
    TPacketContent c = t.Content();
    std::erase_if(c.Rows, [](const TStoredRow& r) { return r.State & kHiddenStates; });
    for (TStoredRow& r : c.Rows)
        r.State = 0;
    std::sort(c.Rows.begin(), c.Rows.end(), [](auto& a, auto& b) { return a.Values[0] < b.Values[0]; });
    c.ChangeLog.clear();
    return WriteXmlPacket(c);
}

void InsertMarks(TClientDataSet& marks, int count)
{
    TBulkInsert bulk(marks);
    for (int i = 0; i < count; ++i) {
        marks.BeginInsert();
        marks.FieldNamed("name").SetAsText("imported " + std::to_string(count - i));
        marks.FieldNamed("scale1").SetAsText(std::to_string(i % 4));
        marks.FieldNamed("lonlatarr").SetAsText(std::string(40, static_cast<char>(i)));
        marks.PostRow();
    }
    bulk.Commit();
}

} // namespace

TEST(EditHistory, EachKindOfStepIsUndoneExactlyAndRedoneAsItWasMade)
{
    struct TCase {
        const char* Kind;
        std::function<void(TWindow& w, TWindow& other)> Do;
        const char* Name;
    };
    const std::vector<TCase> cases = {
        {"posted row", [](TWindow& w, TWindow&) {
             w.Go(w.Marks, 11);
             w.Marks.BeginEdit();
             w.Marks.FieldNamed("name").SetAsText("Source");
             w.Marks.FieldNamed("scale2").SetAsText("");
             w.Marks.FieldNamed("lonlatarr").SetAsText("");
             w.Marks.PostRow();
         }, "Edit Mark"},
        {"description from the memo, the mark keeping its place among equals",
         [](TWindow& w, TWindow&) { w.Edit(w.Marks, 10, "descr", "line\r\nline"); }, "Edit Mark"},
        {"inserted row", [](TWindow& w, TWindow&) {
             w.Go(w.Marks, 12);
             w.Marks.BeginInsert();
             w.Marks.FieldNamed("name").SetAsText("Well");
             w.Marks.FieldNamed("scale1").SetAsText("2");
             w.Marks.PostRow();
         }, "Insert Mark"},
        {"deleted row", [](TWindow& w, TWindow&) { w.Go(w.Marks, 10); w.Marks.DeleteRow(); }, "Delete Mark"},
        {"selected rows deleted", [](TWindow& w, TWindow&) {
             THistoryStep step(&w.History, {});
             for (std::int64_t id : {10, 12, 11}) {
                 w.Go(w.Marks, id);
                 w.Marks.DeleteRow();
             }
         }, "Delete 3 Marks"},
        {"drop moving marks", [](TWindow& w, TWindow&) {
             THistoryStep step(&w.History, "Move");
             DropMarks(w.Cats, w.Cats.RowRefAt(0), w.Marks, {w.Marks, w.Select({10, 13})});
         }, "Move 2 Marks"},
        {"drop copying marks from another window", [](TWindow& w, TWindow& other) {
             other.Go(other.Cats, 5);
             THistoryStep step(&w.History, "Copy");
             DropMarks(w.Cats, w.Cats.RowRefAt(2), w.Marks, {other.Marks, other.Select({20, 21})});
         }, "Copy 2 Marks"},
        {"import", [](TWindow& w, TWindow&) {
             THistoryStep step(&w.History, "Import");
             InsertMarks(w.Marks, 5);
         }, "Import 5 Marks"},
        {"Reindex", [](TWindow& w, TWindow&) { w.History.Renumber(w.Marks, [&] { ReindexMarks(w.Marks); }, "Reindex"); },
         "Reindex"},
        {"category renamed, moving in the order", [](TWindow& w, TWindow&) { w.Edit(w.Cats, 1, "name", "Zebra"); },
         "Edit Category"},
        {"category deleted with its marks", [](TWindow& w, TWindow&) {
             THistoryStep step(&w.History, "Delete");
             w.Go(w.Cats, 5);
             for (std::int64_t id : {21, 20}) {
                 w.Go(w.Marks, id);
                 w.Marks.DeleteRow();
             }
             w.Cats.DeleteRow();
         }, "Delete Category and 2 Marks"},
    };
    for (const TCase& c : cases) {
        TWindow w, other;
        // A change before the step, which undo leaves alone.
        w.Edit(w.Marks, 13, "name", "Creek");
        const std::string before = State(w), source = State(other);
        c.Do(w, other);
        const std::string after = State(w);
        EXPECT_NE(after, before) << c.Kind;
        EXPECT_EQ(w.History.UndoName(), c.Name) << c.Kind;
        for (int round = 0; round < 2; ++round) {
            w.History.Undo();
            EXPECT_EQ(State(w), before) << c.Kind;
            EXPECT_EQ(w.History.RedoName(), c.Name) << c.Kind;
            w.History.Redo();
            EXPECT_EQ(State(w), after) << c.Kind;
        }
        EXPECT_EQ(State(other), source) << c.Kind;
    }
}

TEST(EditHistory, MixedStepsUndoneToTheLoadLeaveNothingToSaveAndTheSameFiles)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "edit_history_test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    WriteFileAtomically(dir / "cats.sml", CatsPacket());
    WriteFileAtomically(dir / "marks.sml", MarksPacket());
    TWindow w, other;
    w.Cats.LoadTableFile(dir / "cats.sml");
    w.Marks.LoadTableFile(dir / "marks.sml");

    w.Edit(w.Marks, 11, "name", "Source");
    w.Edit(w.Marks, 11, "scale1", "9");
    w.Go(w.Marks, 12);
    w.Marks.DeleteRow();
    {
        THistoryStep step(&w.History, "Import");
        InsertMarks(w.Marks, 30);
    }
    w.History.Renumber(w.Marks, [&] { ReindexMarks(w.Marks); }, "Reindex");
    {
        THistoryStep step(&w.History, "Move");
        DropMarks(w.Cats, w.Cats.RowRefAt(0), w.Marks, {w.Marks, w.Select({0, 3, 10})});
    }
    w.Edit(w.Cats, 7, "name", "Deserts");
    {
        THistoryStep step(&w.History, "Copy");
        DropMarks(w.Cats, w.Cats.RowRefAt(1), w.Marks, {other.Marks, other.Select({10, 11})});
    }
    const std::string done = State(w);
    EXPECT_EQ(w.History.StepCount(), 8u);

    // Undo to the load, redo everything, and undo again.
    for (int round = 0; round < 2; ++round) {
        while (w.History.CanUndo())
            w.History.Undo();
        EXPECT_EQ(w.Cats.PendingChangeCount() + w.Marks.PendingChangeCount(), 0);
        while (w.History.CanRedo())
            w.History.Redo();
        EXPECT_EQ(State(w), done);
    }
    while (w.History.CanUndo())
        w.History.Undo();
    // A new change drops the steps undone.
    w.Edit(w.Marks, 20, "name", "Camp");
    EXPECT_FALSE(w.History.CanRedo());
    w.History.Undo();

    w.Cats.MergeChanges();
    w.Marks.MergeChanges();
    w.Cats.SaveTableXml(dir / "cats2.sml");
    w.Marks.SaveTableXml(dir / "marks2.sml");
    EXPECT_EQ(ReadWholeFile(dir / "cats2.sml"), ReadWholeFile(dir / "cats.sml"));
    EXPECT_EQ(ReadWholeFile(dir / "marks2.sml"), ReadWholeFile(dir / "marks.sml"));
    std::filesystem::remove_all(dir);
}

TEST(EditHistory, StepsMadeBeforeASaveAreUndoneAfterItAsChangesToSave)
{
    TWindow w;
    const std::string cats = RowsById(w.Cats), marks = RowsById(w.Marks);
    w.Edit(w.Marks, 11, "name", "Source");
    w.Go(w.Marks, 12);
    w.Marks.DeleteRow();
    {
        THistoryStep step(&w.History, "Import");
        InsertMarks(w.Marks, 10000);
    }
    {
        THistoryStep step(&w.History, "Move");
        DropMarks(w.Cats, w.Cats.RowRefAt(0), w.Marks, {w.Marks, w.Select({10, 13})});
    }
    w.History.Renumber(w.Marks, [&] { ReindexMarks(w.Marks); }, "Reindex");
    w.Edit(w.Cats, 5, "name", "Tents");
    const std::string doneCats = RowsById(w.Cats), doneMarks = RowsById(w.Marks);
    w.Cats.MergeChanges();
    w.Marks.MergeChanges();

    while (w.History.CanUndo())
        w.History.Undo();
    EXPECT_EQ(RowsById(w.Cats), cats);
    EXPECT_EQ(RowsById(w.Marks), marks);
    EXPECT_GT(w.Marks.PendingChangeCount(), 0);
    while (w.History.CanRedo())
        w.History.Redo();
    EXPECT_EQ(RowsById(w.Cats), doneCats);
    EXPECT_EQ(RowsById(w.Marks), doneMarks);
    EXPECT_EQ(w.History.UndoName(), "Edit Category");
}

TEST(EditHistory, UndoPostsAPendingEditAndMakesTheChangedMarkCurrentInItsCategory)
{
    TWindow w;
    w.Go(w.Marks, 20);
    w.Marks.BeginEdit();
    w.Marks.FieldNamed("name").SetAsText("Base");
    w.Go(w.Marks, 11);
    w.Marks.BeginEdit();
    w.Marks.FieldNamed("name").SetAsText("Source");

    w.History.Undo();
    EXPECT_EQ(w.Marks.FieldNamed("name").AsText(), "Spring");
    EXPECT_EQ(w.History.RedoName(), "Edit Mark");
    w.History.Undo();
    EXPECT_EQ(w.Cats.FieldNamed("name").AsText(), "Camps");
    EXPECT_EQ(w.Marks.FieldNamed("name").AsText(), "North camp");
    w.Go(w.Cats, 7);
    w.History.Redo();
    EXPECT_EQ(w.Cats.FieldNamed("name").AsText(), "Camps");
    EXPECT_EQ(w.Marks.FieldNamed("name").AsText(), "Base");
}

TEST(EditHistory, AnUndoThatDoesNotMatchTheTablesChangesNothingAndSaysWhy)
{
    // A change the history did not see, before and after a save.
    for (bool saved : {false, true}) {
        TWindow w;
        w.Edit(w.Marks, 11, "name", "Source");
        if (saved)
            w.Marks.MergeChanges();
        w.Marks.SetWatcher(nullptr);
        w.Edit(w.Marks, 11, "name", "Fountain");
        w.Marks.SetWatcher(&w.History);
        const std::string before = State(w);
        EXPECT_EQ(ErrorText([&] { w.History.Undo(); }),
                  "Undo Edit Mark changed nothing. CDMarks: The history of changes does not match the table")
            << saved;
        EXPECT_EQ(State(w), before) << saved;
        EXPECT_FALSE(w.History.CanUndo()) << saved;
    }
}

TEST(EditHistory, TheHistoryIsBoundedInStepsAndBytes)
{
    TWindow w;
    for (int i = 0; i <= static_cast<int>(TEditHistory::kMaxSteps); ++i)
        w.Edit(w.Marks, 11, "scale2", std::to_string(i));
    EXPECT_EQ(w.History.StepCount(), TEditHistory::kMaxSteps);

    // Past the bytes allowed the oldest steps go: here the import, whose images
    // the save made large, while the small edits after it stay.
    w.History.Clear();
    w.History.SetLimits(TEditHistory::kMaxSteps, 64 << 10);
    {
        THistoryStep step(&w.History, "Import");
        InsertMarks(w.Marks, 2000);
    }
    w.Edit(w.Marks, 11, "name", "a");
    w.Edit(w.Marks, 11, "name", "b");
    w.Marks.MergeChanges();
    EXPECT_EQ(w.History.StepCount(), 2u);
    EXPECT_LE(w.History.BytesHeld(), 64u << 10);
    w.History.Undo();
    w.History.Undo();
    EXPECT_FALSE(w.History.CanUndo());
    EXPECT_EQ(w.Marks.FieldNamed("name").AsText(), "Spring");
}
