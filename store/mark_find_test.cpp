#include "mark_find.h"

#include <gtest/gtest.h>

#include <functional>

#include "code_page.h"
#include "mark_drop.h"
#include "marks_schema.h"
#include "reindex.h"

namespace {

std::string W(std::string_view utf8)
{
    return Utf8ToCp1251(utf8);
}

TStoredRow Cat(std::int64_t id, std::string_view name)
{
    return {0, {id, W(name), true, TFieldValue{}, TFieldValue{}}};
}

TStoredRow Mark(std::int64_t id, std::string_view name, std::int64_t category, std::int64_t scale1 = 0,
                std::string_view descr = {})
{
    TStoredRow row{0, std::vector<TFieldValue>(15)};
    row.Values[0] = id;
    row.Values[1] = W(name);
    if (!descr.empty())
        row.Values[2] = W(descr);
    row.Values[3] = scale1;
    row.Values[14] = category;
    return row;
}

std::string Packet(TPacketContent content, std::vector<TStoredRow> rows)
{
    content.Rows = std::move(rows);
    content.AutoIncValue = 100;
    return WriteXmlPacket(content);
}

// Categories in view order: Camps (5), Water (1), Озёра (7); a mark of a category
// that is not there (99) besides.
struct TFindTables {
    TClientDataSet Cats{CatsSchema()};
    TClientDataSet Marks{MarksSchema()};

    TFindTables()
    {
        Marks.SetMasterSource(&Cats, "id");
        Cats.SetPacketText(Packet(EmptyCatsPacket(), {Cat(1, "Water"), Cat(5, "Camps"), Cat(7, "Озёра")}));
        Marks.SetPacketText(Packet(EmptyMarksPacket(),
                                   {Mark(10, "Well", 1, 2), Mark(11, "Spring well", 1, 1, "Cold water\r\nsecond line"),
                                    Mark(20, "North camp", 5), Mark(21, "ОЗЕРО Круглое", 7), Mark(22, "Ёлки", 7),
                                    Mark(30, "Orphan озеро", 99)}));
    }

    // "category/name" of every mark found, in UTF-8.
    std::vector<std::string> Find(std::string_view text, bool descriptions = false)
    {
        TMarkSearch search(Cats, Marks, W(text), descriptions);
        search.RunToEnd();
        return Names(search);
    }
    static std::vector<std::string> Names(const TMarkSearch& search)
    {
        std::vector<std::string> names;
        for (const TFoundMark& found : search.Found())
            names.push_back(Cp1251ToUtf8(found.Category + "/" + found.Name));
        return names;
    }
    void GoToMark(std::string_view name)
    {
        TMarkSearch search(Cats, Marks, W(name), false);
        search.RunToEnd();
        ASSERT_TRUE(GoToFoundMark(Cats, Marks, search.Found().at(0).Mark));
    }
    std::string Current()
    {
        return Cp1251ToUtf8(Cats.FieldNamed("name").AsText() + "/" + Marks.FieldNamed("name").AsText());
    }
};

using TNames = std::vector<std::string>;

} // namespace

TEST(TextMatcher, IgnoresCaseTakesIoForIeAndMatchesAnywhere)
{
    struct TCase {
        const char* Text;
        const char* In;
        bool Found;
    } cases[] = {
        {"озеро", "Озеро", true},     {"озеро", "НА ОЗЕРЕ, ОЗЕРО", true}, {"ОЗЕРО", "озеро", true},
        {"well", "Old WELL", true},   {"WeLL", "well", true},             {"е", "Ёж", true},
        {"ёж", "ЕЖ", true},           {"елка", "ёлка", true},             {"їжак", "ЇЖАК", true},
        {"aab", "aaab", true},        {"abc", "ab", false},               {"озеро", "озерo", false},
        {"", "anything", true},       {"x", "", false},                   {"bab", "abaabab", true},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TTextMatcher(W(c.Text)).Matches(W(c.In)), c.Found) << c.Text << " in " << c.In;
}

TEST(MarkSearch, NamesOrDescriptionsInTheGridsOrder)
{
    TFindTables t;
    EXPECT_EQ(t.Find("n"), (TNames{"Camps/North camp", "Water/Spring well"}));
    EXPECT_EQ(t.Find("WELL"), (TNames{"Water/Spring well", "Water/Well"}));
    // Cyrillic case and "е" for "ё"; the mark of a missing category is not found.
    EXPECT_EQ(t.Find("озеро"), (TNames{"Озёра/ОЗЕРО Круглое"}));
    EXPECT_EQ(t.Find("елки"), (TNames{"Озёра/Ёлки"}));
    EXPECT_EQ(t.Find("water"), TNames{});
    EXPECT_EQ(t.Find("water", true), (TNames{"Water/Spring well"}));
    EXPECT_EQ(t.Find("second", true), (TNames{"Water/Spring well"}));
    EXPECT_EQ(t.Find(""), TNames{});

    TMarkSearch search(t.Cats, t.Marks, "Spring", false);
    search.RunToEnd();
    ASSERT_EQ(search.Found().size(), 1u);
    EXPECT_EQ(search.Found()[0].Scale1, "1");
    EXPECT_EQ(search.Found()[0].FirstLine, "Cold water");
}

TEST(MarkSearch, FollowsEveryChangeOfTheTables)
{
    struct TCase {
        const char* What;
        std::function<void(TFindTables&)> Change;
        TNames Found; // for "well"
    } cases[] = {
        {"edit",
         [](TFindTables& t) {
             t.GoToMark("Spring");
             t.Marks.BeginEdit();
             t.Marks.FieldNamed("name").SetAsText("Spring");
             t.Marks.PostRow();
         },
         {"Water/Well"}},
        {"insert",
         [](TFindTables& t) {
             t.GoToMark("North");
             t.Marks.BeginInsert();
             t.Marks.FieldNamed("name").SetAsText("Camp well");
             t.Marks.PostRow();
         },
         {"Camps/Camp well", "Water/Spring well", "Water/Well"}},
        {"delete",
         [](TFindTables& t) {
             t.GoToMark("Spring");
             t.Marks.DeleteRow();
         },
         {"Water/Well"}},
        {"drop",
         [](TFindTables& t) {
             t.GoToMark("Spring");
             const std::vector<TRowRef> selection{t.Marks.CurrentRowRef()};
             DropMarks(t.Cats, t.Cats.RowRefAt(0), t.Marks, {t.Marks, selection});
         },
         {"Camps/Spring well", "Water/Well"}},
        {"category renamed",
         [](TFindTables& t) {
             t.GoToMark("Well");
             t.Cats.BeginEdit();
             t.Cats.FieldNamed("name").SetAsText("Aqua");
             t.Cats.PostRow();
         },
         {"Aqua/Spring well", "Aqua/Well"}},
        {"merge and reindex",
         [](TFindTables& t) {
             t.GoToMark("Spring");
             t.Marks.GoNext();
             t.Marks.DeleteRow();
             t.Marks.MergeChanges();
             ReindexMarks(t.Marks);
         },
         {"Water/Spring well"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TFindTables t;
        // A search made before the change is no longer current; run again, it starts over.
        TMarkSearch search(t.Cats, t.Marks, "well", false);
        search.RunToEnd();
        EXPECT_TRUE(search.Current());
        c.Change(t);
        EXPECT_FALSE(search.Current());
        search.RunToEnd();
        EXPECT_EQ(TFindTables::Names(search), c.Found);
        EXPECT_EQ(t.Find("well"), c.Found);
    }
}

TEST(MarkSearch, KeepsTheFirstThousandAndYieldsBetweenSlices)
{
    TClientDataSet cats(CatsSchema());
    TClientDataSet marks(MarksSchema());
    marks.SetMasterSource(&cats, "id");
    cats.SetPacketText(Packet(EmptyCatsPacket(), {Cat(1, "All")}));
    std::vector<TStoredRow> rows;
    for (int i = 0; i < 1500; ++i)
        rows.push_back(Mark(i, "m" + std::to_string(i), 1, i));
    marks.SetPacketText(Packet(EmptyMarksPacket(), std::move(rows)));

    TMarkSearch whole(cats, marks, "M", false);
    whole.RunToEnd();
    EXPECT_EQ(whole.Total(), 1500u);
    ASSERT_EQ(whole.Found().size(), TMarkSearch::kKept);
    EXPECT_EQ(whole.Found().back().Name, "m999");

    TMarkSearch sliced(cats, marks, "M", false);
    int slices = 1;
    while (!sliced.Run(std::chrono::steady_clock::duration::zero()))
        ++slices;
    EXPECT_GT(slices, 10);
    EXPECT_EQ(sliced.Total(), 1500u);
    EXPECT_EQ(TFindTables::Names(sliced), TFindTables::Names(whole));
}

TEST(MarkSearch, GoesToTheMarkFoundOrSkipsItWhenGone)
{
    TFindTables t;
    t.Cats.GoFirst();
    TMarkSearch search(t.Cats, t.Marks, "r", false);
    search.RunToEnd();
    ASSERT_EQ(TFindTables::Names(search), (TNames{"Camps/North camp", "Water/Spring well"}));
    EXPECT_TRUE(GoToFoundMark(t.Cats, t.Marks, search.Found()[1].Mark));
    EXPECT_EQ(t.Current(), "Water/Spring well");
    EXPECT_TRUE(GoToFoundMark(t.Cats, t.Marks, search.Found()[0].Mark));
    EXPECT_EQ(t.Current(), "Camps/North camp");

    // Deleted, or from before the table was reopened: not followed, nothing moves.
    t.GoToMark("Spring");
    t.Marks.DeleteRow();
    t.GoToMark("North");
    EXPECT_FALSE(GoToFoundMark(t.Cats, t.Marks, search.Found()[1].Mark));
    EXPECT_EQ(t.Current(), "Camps/North camp");
    TMarkSearch again(t.Cats, t.Marks, "Well", false);
    again.RunToEnd();
    ReindexMarks(t.Marks);
    EXPECT_FALSE(GoToFoundMark(t.Cats, t.Marks, again.Found().at(0).Mark));
    EXPECT_EQ(t.Current(), "Camps/North camp");
}
