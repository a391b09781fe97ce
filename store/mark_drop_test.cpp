#include "mark_drop.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "marks_schema.h"
#include "packet_test_support.h"
#include "test_helpers.h"

using namespace packet_test;

// The table side of dropping marks; the grids' side, and the cases a user sees,
// are tested with the window.

namespace {

TStoredRow Mark(std::int64_t id, std::string name, std::int64_t category, std::int64_t scale1)
{
    return {0,
            {id, std::move(name), TFieldValue{}, scale1, TFieldValue{}, TFieldValue{}, TFieldValue{}, TFieldValue{},
             TFieldValue{}, TFieldValue{}, TFieldValue{}, TFieldValue{}, true, std::string("flag.png"), category}};
}

struct TCountingObserver : TDataSetObserver {
    int Calls = 0;
    void DataSetChanged(TClientDataSet&) override { ++Calls; }
};

// One window's two tables: categories Alpha 2, Bravo 5 and Charlie 7 (in that
// order), and the marks given, picname required when asked; Alpha is current.
struct TWindowTables {
    TClientDataSet Cats{CatsSchema()};
    TClientDataSet Marks{MarksSchema()};

    TWindowTables(std::vector<TStoredRow> marks, bool iconRequired = false)
    {
        Marks.SetMasterSource(&Cats, "id");
        TPacketContent c = CategoriesContent();
        for (auto [id, name] : {std::pair{5, "Bravo"}, {2, "Alpha"}, {7, "Charlie"}})
            c.Rows.push_back({0, {std::int64_t{id}, std::string(name), true, TFieldValue{}, TFieldValue{}}});
        Cats.SetPacketText(WriteXmlPacket(c));
        TPacketContent m = MarksContent();
        m.Fields[13].Required = iconRequired;
        m.Rows = std::move(marks);
        m.AutoIncValue = 50;
        Marks.SetPacketText(WriteXmlPacket(m));
    }

    // The category at a position of the view: 0 Alpha, 1 Bravo, 2 Charlie.
    TRowRef Category(std::size_t position) const { return Cats.RowRefAt(position); }

    // All marks of the shown category.
    std::vector<TRowRef> SelectAll()
    {
        std::vector<TRowRef> refs;
        for (Marks.GoFirst(); !Marks.AtEnd(); Marks.GoNext())
            refs.push_back(Marks.CurrentRowRef());
        return refs;
    }

    // "name:categoryid" of every mark, by name.
    std::string AllMarks() const
    {
        std::vector<std::string> marks;
        const TPacketContent content = Marks.Content();
        for (const TStoredRow& row : content.Rows)
            if (!(row.State & kHiddenStates))
                marks.push_back(std::get<std::string>(row.Values[1]) + ":" +
                                std::to_string(std::get<std::int64_t>(row.Values[14])));
        std::sort(marks.begin(), marks.end());
        std::string out;
        for (const std::string& mark : marks)
            out += mark + " ";
        return out;
    }
};

} // namespace

TEST(MarkDrop, TheGridsAreToldOnceAndOnlyTheSelectedMarksChange)
{
    TWindowTables w({Mark(1, "m1", 2, 1), Mark(2, "m2", 2, 2), Mark(3, "m3", 2, 3)});
    TWindowTables other({Mark(30, "c1", 2, 1)});
    std::vector<TRowRef> selection = w.SelectAll();
    selection.erase(selection.begin() + 1);
    std::vector<TRowRef> copied = other.SelectAll();
    TCountingObserver catsViews, marksViews;
    w.Cats.AddObserver(&catsViews);
    w.Marks.AddObserver(&marksViews);

    DropMarks(w.Cats, w.Category(1), w.Marks, {w.Marks, selection});
    EXPECT_EQ(catsViews.Calls, 1);
    EXPECT_EQ(marksViews.Calls, 1);
    DropMarks(w.Cats, w.Category(1), w.Marks, {other.Marks, copied});
    EXPECT_EQ(catsViews.Calls, 2);
    EXPECT_EQ(marksViews.Calls, 2);
    EXPECT_EQ(w.AllMarks(), "c1:5 m1:5 m2:2 m3:5 ");
    EXPECT_EQ(w.Cats.FieldNamed("id").AsInt(), 2);

    // The moved marks have left the view, so their references lead nowhere now: a
    // second drop of the same selection must not move the current mark instead.
    DropMarks(w.Cats, w.Category(2), w.Marks, {w.Marks, selection});
    // Nothing changes for an empty selection, nor for the category the marks are in.
    DropMarks(w.Cats, w.Category(2), w.Marks, {w.Marks, {}});
    DropMarks(w.Cats, w.Category(0), w.Marks, {w.Marks, w.SelectAll()});
    EXPECT_EQ(w.AllMarks(), "c1:5 m1:5 m2:2 m3:5 ");
    EXPECT_EQ(w.Marks.PendingChangeCount(), 3);
    w.Cats.RemoveObserver(&catsViews);
    w.Marks.RemoveObserver(&marksViews);
}

TEST(MarkDrop, AFailedCopyKeepsTheEarlierMarksAndNothingPending)
{
    // picname is required here; the second source mark has none.
    TWindowTables w({Mark(1, "m1", 2, 1)}, true);
    std::vector<TStoredRow> source = {Mark(30, "c1", 2, 1), Mark(31, "c2", 2, 2), Mark(32, "c3", 2, 3)};
    source[1].Values[13] = TFieldValue{};
    TWindowTables other(source);
    std::vector<TRowRef> copied = other.SelectAll();

    EXPECT_EQ(ErrorText([&] { DropMarks(w.Cats, w.Category(2), w.Marks, {other.Marks, copied}); }), "Field value required.");
    EXPECT_EQ(w.AllMarks(), "c1:7 m1:2 ");
    EXPECT_EQ(w.Marks.Content().AutoIncValue, 51);
    EXPECT_EQ(w.Marks.State(), TTableState::Browse);
    EXPECT_FALSE(w.Cats.ViewsSuspended() || w.Marks.ViewsSuspended() || other.Marks.ViewsSuspended());
    EXPECT_EQ(w.Cats.FieldNamed("id").AsInt(), 7);
    EXPECT_EQ(w.Marks.FieldNamed("name").AsText(), "c1");
    // Nothing half-copied is posted by a later move.
    w.Cats.GoFirst();
    EXPECT_EQ(w.AllMarks(), "c1:7 m1:2 ");
}

TEST(MarkDrop, APendingMarkEditThatCannotBePostedStopsTheDrop)
{
    TWindowTables w({Mark(1, "m1", 2, 1), Mark(2, "m2", 2, 2)}, true);
    TWindowTables other({Mark(30, "c1", 2, 1)});
    std::vector<TRowRef> selection = w.SelectAll();
    std::vector<TRowRef> copied = other.SelectAll();
    w.Marks.GoFirst();
    w.Marks.BeginEdit();
    w.Marks.FieldNamed("picname").SetNull();

    EXPECT_EQ(ErrorText([&] { DropMarks(w.Cats, w.Category(1), w.Marks, {other.Marks, copied}); }), "Field value required.");
    EXPECT_EQ(w.AllMarks(), "m1:2 m2:2 ");
    EXPECT_EQ(w.Cats.FieldNamed("id").AsInt(), 2);
    EXPECT_FALSE(w.Cats.ViewsSuspended());
    // The user's edit is still open and can be put right.
    EXPECT_EQ(w.Marks.State(), TTableState::Edit);
    w.Marks.FieldNamed("picname").SetAsText("flag.png");
    DropMarks(w.Cats, w.Category(1), w.Marks, {w.Marks, selection});
    EXPECT_EQ(w.AllMarks(), "m1:5 m2:5 ");
}
