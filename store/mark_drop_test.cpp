#include "mark_drop.h"

#include <gtest/gtest.h>

#include "marks_schema.h"
#include "packet_test_support.h"
#include "test_helpers.h"

using namespace packet_test;

namespace {

TStoredRow Cat(std::int64_t id, std::string name)
{
    return {0, {id, std::move(name), true, TFieldValue{}, TFieldValue{}}};
}

TStoredRow Mark(std::int64_t id, std::string name, std::int64_t category, std::int64_t scale1 = 0)
{
    return {0,
            {id, std::move(name), TFieldValue{}, scale1, TFieldValue{}, TFieldValue{}, TFieldValue{}, TFieldValue{},
             TFieldValue{}, TFieldValue{}, TFieldValue{}, TFieldValue{}, true, std::string("flag.png"), category}};
}

// A mark with every kind of value: memo with a line break and Cyrillic, a blob with
// NUL bytes, floats, a null field and a false flag.
TStoredRow FullMark(std::int64_t id, std::string name, std::int64_t category)
{
    return {0,
            {id, std::move(name), std::string("Line one\r\n\xce\xef\xe8\xf1\xe0\xed\xe8\xe5"), std::int64_t{3},
             TFieldValue{}, std::string("\x01\x00\x02\x00\xff", 5), 10.25, 60.5, 11.75, 59.125, std::int64_t{0xFF00},
             std::int64_t{0x00FF}, false, std::string("camp.png"), category}};
}

struct TCountingObserver : TDataSetObserver {
    int Calls = 0;
    void DataSetChanged(TClientDataSet&) override { ++Calls; }
};

// One editor window's two tables.
struct TWindowTables {
    TClientDataSet Cats{CatsSchema()};
    TClientDataSet Marks{MarksSchema()};

    TWindowTables(std::vector<TStoredRow> cats, TPacketContent marks)
    {
        Marks.SetMasterSource(&Cats, "id");
        TPacketContent c = CategoriesContent();
        c.Rows = std::move(cats);
        c.AutoIncValue = 100;
        Cats.SetPacketText(WriteXmlPacket(c));
        Marks.SetPacketText(WriteXmlPacket(marks));
    }

    void GoToCategory(std::int64_t id)
    {
        for (Cats.GoFirst(); !Cats.AtEnd(); Cats.GoNext())
            if (Cats.FieldNamed("id").AsInt() == id)
                return;
        ADD_FAILURE() << "no category " << id;
    }

    // Rows from the current category to the given one, as the grid counts them.
    long OffsetTo(std::int64_t id)
    {
        const auto from = static_cast<long>(Cats.RowNumber());
        TSuspendedViews suspended(Cats);
        const TRowRef back = Cats.CurrentRowRef();
        GoToCategory(id);
        const auto to = static_cast<long>(Cats.RowNumber());
        Cats.GoToRow(back);
        return to - from;
    }

    // References to the marks of the shown category with these names, in view order.
    std::vector<TRowRef> Select(std::initializer_list<const char*> names)
    {
        std::vector<TRowRef> refs;
        for (Marks.GoFirst(); !Marks.AtEnd(); Marks.GoNext())
            for (const char* name : names)
                if (Marks.FieldNamed("name").AsText() == name)
                    refs.push_back(Marks.CurrentRowRef());
        return refs;
    }

    // "name:categoryid" of every mark in storage order, latest versions only.
    std::string AllMarks() const
    {
        std::string out;
        for (const TStoredRow& row : Marks.Content().Rows)
            if (!(row.State & kHiddenStates))
                out += std::get<std::string>(row.Values[1]) + ":" +
                       std::to_string(std::get<std::int64_t>(row.Values[14])) + " ";
        return out;
    }

    std::vector<std::string> ShownNames()
    {
        std::vector<std::string> out;
        TRowRef back = Marks.CurrentRowRef();
        for (Marks.GoFirst(); !Marks.AtEnd(); Marks.GoNext())
            out.push_back(Marks.FieldNamed("name").AsText());
        Marks.GoToRow(back);
        return out;
    }
};

TPacketContent MarksOf(std::vector<TStoredRow> rows, std::int64_t next = 50)
{
    TPacketContent c = MarksContent();
    c.Rows = std::move(rows);
    c.AutoIncValue = next;
    return c;
}

// Categories in name order: Alpha 2, Bravo 5, Charlie 7.
std::vector<TStoredRow> ThreeCategories()
{
    return {Cat(5, "Bravo"), Cat(2, "Alpha"), Cat(7, "Charlie")};
}

TWindowTables FiveMarksInAlpha()
{
    return {ThreeCategories(), MarksOf({Mark(1, "m1", 2, 1), Mark(2, "m2", 2, 2), Mark(3, "m3", 2, 3),
                                        Mark(4, "m4", 2, 4), Mark(5, "m5", 2, 5), Mark(6, "b1", 5, 1)})};
}

} // namespace

TEST(MarkDrop, MovesTheSelectedMarksAndLeavesTheGridsOnTheCurrentCategory)
{
    TWindowTables w = FiveMarksInAlpha();
    w.GoToCategory(2);
    std::vector<TRowRef> selection = w.Select({"m1", "m3", "m4"});
    w.Marks.GoFirst();
    const long offset = w.OffsetTo(5);
    TCountingObserver catsViews, marksViews;
    w.Cats.AddObserver(&catsViews);
    w.Marks.AddObserver(&marksViews);

    DropMarks(w.Cats, offset, w.Marks, {w.Marks, selection});

    EXPECT_EQ(w.AllMarks(), "m2:2 m5:2 b1:5 m1:5 m3:5 m4:5 ");
    EXPECT_EQ(w.Marks.PendingChangeCount(), 3);
    // The grids were told once each, and the marks grid still shows category 2.
    EXPECT_EQ(catsViews.Calls, 1);
    EXPECT_EQ(marksViews.Calls, 1);
    EXPECT_FALSE(w.Cats.ViewsSuspended() || w.Marks.ViewsSuspended());
    EXPECT_EQ(w.Cats.FieldNamed("id").AsInt(), 2);
    EXPECT_EQ(w.ShownNames(), (std::vector<std::string>{"m2", "m5"}));
    w.GoToCategory(5);
    EXPECT_EQ(w.ShownNames(), (std::vector<std::string>{"b1", "m1", "m3", "m4"}));
    w.Cats.RemoveObserver(&catsViews);
    w.Marks.RemoveObserver(&marksViews);
}

TEST(MarkDrop, DropsThatChangeNothing)
{
    TWindowTables w = FiveMarksInAlpha();
    w.GoToCategory(5);
    const std::string before = w.AllMarks();

    // Onto the category the marks belong to, and with an empty selection.
    std::vector<TRowRef> selection = w.Select({"b1"});
    DropMarks(w.Cats, 0, w.Marks, {w.Marks, selection});
    DropMarks(w.Cats, w.OffsetTo(7), w.Marks, {w.Marks, {}});
    EXPECT_EQ(w.AllMarks(), before);
    EXPECT_EQ(w.Marks.PendingChangeCount(), 0);
    EXPECT_EQ(w.Cats.FieldNamed("id").AsInt(), 5);

    // A selection whose marks have already left the view leads nowhere: the mark
    // that happens to be current is not moved in their place.
    w.GoToCategory(2);
    selection = w.Select({"m2", "m3"});
    DropMarks(w.Cats, w.OffsetTo(7), w.Marks, {w.Marks, selection});
    w.Marks.GoFirst();
    DropMarks(w.Cats, w.OffsetTo(5), w.Marks, {w.Marks, selection});
    EXPECT_EQ(w.AllMarks(), "m1:2 m4:2 m5:2 b1:5 m2:7 m3:7 ");
}

TEST(MarkDrop, CopiesEveryFieldButTheIdFromAnotherWindow)
{
    TWindowTables source({Cat(1, "Elsewhere")},
                         MarksOf({FullMark(30, "c1", 1), Mark(31, "skip", 1, 1), FullMark(32, "c2", 1)}, 40));
    TWindowTables w = FiveMarksInAlpha();
    source.GoToCategory(1);
    std::vector<TRowRef> selection = source.Select({"c1", "c2"});
    const std::string sourcePacket = source.Marks.PacketText();
    w.GoToCategory(2);
    const std::size_t storedBefore = w.Marks.Content().Rows.size();
    const long offset = w.OffsetTo(5);
    TCountingObserver marksViews;
    w.Marks.AddObserver(&marksViews);

    DropMarks(w.Cats, offset, w.Marks, {source.Marks, selection});

    // The marks grid is told once, not for every new row.
    EXPECT_EQ(marksViews.Calls, 1);
    w.Marks.RemoveObserver(&marksViews);

    EXPECT_EQ(source.Marks.PacketText(), sourcePacket);
    EXPECT_EQ(source.Marks.FieldNamed("name").AsText(), "c2");
    EXPECT_FALSE(source.Marks.ViewsSuspended());

    const auto& rows = w.Marks.Content().Rows;
    ASSERT_EQ(rows.size(), storedBefore + 2);
    for (std::size_t i = 0; i < 2; ++i) {
        std::vector<TFieldValue> expected = FullMark(50 + std::int64_t(i), i ? "c2" : "c1", 5).Values;
        EXPECT_EQ(rows[storedBefore + i].Values, expected) << i;
    }
    EXPECT_EQ(w.Marks.Content().AutoIncValue, 52);
    EXPECT_EQ(w.Marks.PendingChangeCount(), 2);
    EXPECT_EQ(w.Cats.FieldNamed("id").AsInt(), 2);
    EXPECT_EQ(w.ShownNames(), (std::vector<std::string>{"m1", "m2", "m3", "m4", "m5"}));
    w.GoToCategory(5);
    EXPECT_EQ(w.ShownNames(), (std::vector<std::string>{"b1", "c1", "c2"}));
}

TEST(MarkDrop, AFailedPostKeepsEarlierMarksAndResumesEveryView)
{
    // picname is required in this window's file; the second mark of each selection
    // has none, so its post fails.
    TPacketContent marks = MarksOf({Mark(1, "m1", 2, 1), Mark(2, "m2", 2, 2), Mark(3, "m3", 2, 3)});
    marks.Fields[13].Required = true;
    marks.Rows[1].Values[13] = TFieldValue{};
    TWindowTables w(ThreeCategories(), marks);
    w.GoToCategory(2);
    std::vector<TRowRef> selection = w.Select({"m1", "m2", "m3"});

    EXPECT_EQ(ErrorText([&] { DropMarks(w.Cats, w.OffsetTo(7), w.Marks, {w.Marks, selection}); }),
              "Field value required.");
    EXPECT_EQ(w.AllMarks(), "m2:2 m3:2 m1:7 ");
    EXPECT_EQ(w.Marks.State(), TTableState::Browse);
    EXPECT_FALSE(w.Cats.ViewsSuspended() || w.Marks.ViewsSuspended());
    // The categories stay on the target, and the marks show it.
    EXPECT_EQ(w.Cats.FieldNamed("id").AsInt(), 7);
    EXPECT_EQ(w.ShownNames(), (std::vector<std::string>{"m1"}));
    // Nothing is left pending to be posted by a later move.
    w.GoToCategory(5);
    EXPECT_EQ(w.AllMarks(), "m2:2 m3:2 m1:7 ");

    // The same when copying from another window.
    TWindowTables source({Cat(1, "Elsewhere")}, MarksOf({Mark(30, "c1", 1, 1), Mark(31, "c2", 1, 2),
                                                         Mark(32, "c3", 1, 3)}));
    source.Marks.GoFirst();
    source.Marks.GoNext();
    source.Marks.BeginEdit();
    source.Marks.FieldNamed("picname").SetNull();
    source.Marks.PostRow();
    source.GoToCategory(1);
    selection = source.Select({"c1", "c2", "c3"});
    const std::int64_t next = w.Marks.Content().AutoIncValue;
    w.GoToCategory(2);

    EXPECT_EQ(ErrorText([&] { DropMarks(w.Cats, w.OffsetTo(5), w.Marks, {source.Marks, selection}); }),
              "Field value required.");
    EXPECT_EQ(w.AllMarks(), "m2:2 m3:2 m1:7 c1:5 ");
    EXPECT_EQ(w.Marks.Content().AutoIncValue, next + 1);
    EXPECT_EQ(w.Marks.State(), TTableState::Browse);
    EXPECT_FALSE(w.Cats.ViewsSuspended() || w.Marks.ViewsSuspended() || source.Marks.ViewsSuspended());
    EXPECT_EQ(w.Cats.FieldNamed("id").AsInt(), 5);
    EXPECT_EQ(w.ShownNames(), (std::vector<std::string>{"c1"}));
}

TEST(MarkDrop, APendingMarkEditThatCannotBePostedStopsTheDrop)
{
    TPacketContent marks = MarksOf({Mark(1, "m1", 2, 1), Mark(2, "m2", 2, 2)});
    marks.Fields[13].Required = true;
    TWindowTables w(ThreeCategories(), marks);
    w.GoToCategory(2);
    std::vector<TRowRef> selection = w.Select({"m2"});
    const long offset = w.OffsetTo(5);
    w.Marks.GoFirst();
    w.Marks.BeginEdit();
    w.Marks.FieldNamed("picname").SetNull();

    TWindowTables source({Cat(1, "Elsewhere")}, MarksOf({Mark(30, "c1", 1)}));
    source.GoToCategory(1);
    std::vector<TRowRef> copied = source.Select({"c1"});
    EXPECT_EQ(ErrorText([&] { DropMarks(w.Cats, offset, w.Marks, {source.Marks, copied}); }),
              "Field value required.");
    EXPECT_EQ(w.AllMarks(), "m1:2 m2:2 ");
    EXPECT_EQ(w.Cats.FieldNamed("id").AsInt(), 2);
    EXPECT_FALSE(w.Cats.ViewsSuspended());
    // The user's edit is still open and can be put right.
    EXPECT_EQ(w.Marks.State(), TTableState::Edit);
    w.Marks.FieldNamed("picname").SetAsText("flag.png");
    DropMarks(w.Cats, offset, w.Marks, {w.Marks, selection});
    EXPECT_EQ(w.AllMarks(), "m1:2 m2:5 ");
}
