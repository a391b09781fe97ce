// Bulk inserts give the table what the same posts one by one give it, and a
// cancelled bulk leaves it as it was.
#include <gtest/gtest.h>

#include "client_dataset.h"
#include "marks_schema.h"

namespace {

struct TBulkTables {
    TClientDataSet Cats{CatsSchema()};
    TClientDataSet Marks{MarksSchema()};

    TBulkTables()
    {
        Marks.SetMasterSource(&Cats, "id");
        TPacketContent cats = EmptyCatsPacket();
        for (std::int64_t id : {1, 2, 3})
            cats.Rows.push_back({0, {id, "c" + std::to_string(id), true, TFieldValue{}, TFieldValue{}}});
        cats.AutoIncValue = 4;
        Cats.SetPacketText(WriteXmlPacket(cats));
        TPacketContent marks = EmptyMarksPacket();
        std::int64_t id = 1;
        for (std::int64_t category : {1, 2, 2, 3})
            for (const char* name : {"b", "d"}) {
                std::vector<TFieldValue> values(15);
                values[0] = id++;
                values[1] = std::string(name);
                values[14] = category;
                marks.Rows.push_back({0, values});
            }
        marks.AutoIncValue = id;
        Marks.SetPacketText(WriteXmlPacket(marks));
        Cats.GoFirst();
        Cats.GoNext(); // category 2
    }

    void Insert(const std::vector<std::string>& names)
    {
        for (const std::string& name : names) {
            Marks.BeginInsert();
            Marks.FieldNamed("name").SetAsText(name);
            Marks.PostRow();
        }
    }
};

} // namespace

TEST(TBulkInsert, PlacesRowsAsSinglePostsDo)
{
    const std::vector<std::string> names{"c", "a", "d", "e", "d", "a"};
    TBulkTables single, bulk;
    single.Insert(names);
    {
        TSuspendedViews suspended(bulk.Marks);
        TBulkInsert insert(bulk.Marks);
        bulk.Insert(names);
        insert.Commit();
    }
    EXPECT_EQ(bulk.Marks.PacketText(), single.Marks.PacketText());
    EXPECT_EQ(bulk.Marks.PendingChangeCount(), 6);
    // The same view order (equal names in the order posted), the last row current.
    EXPECT_EQ(bulk.Marks.FieldNamed("id").AsInt(), single.Marks.FieldNamed("id").AsInt());
    EXPECT_EQ(bulk.Marks.RowNumber(), single.Marks.RowNumber());
    std::vector<std::int64_t> a, b;
    for (bulk.Marks.GoFirst(), single.Marks.GoFirst(); !single.Marks.AtEnd(); bulk.Marks.GoNext(), single.Marks.GoNext()) {
        a.push_back(bulk.Marks.FieldNamed("id").AsInt());
        b.push_back(single.Marks.FieldNamed("id").AsInt());
    }
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.size(), 10u);
    bulk.Cats.GoNext();
    EXPECT_EQ(bulk.Marks.RecordCount(), 2u);
}

TEST(TBulkInsert, ACancelledBulkLeavesTheTableAsItWas)
{
    TBulkTables t;
    const std::string before = t.Marks.PacketText();
    t.Insert({"x"}); // an ordinary insert before the bulk stays
    const std::string withOne = t.Marks.PacketText();
    ASSERT_NE(withOne, before);
    {
        TBulkInsert insert(t.Marks);
        t.Insert({"y", "z"});
        t.Marks.BeginInsert();
        t.Marks.FieldNamed("name").SetAsText("pending");
    }
    EXPECT_EQ(t.Marks.PacketText(), withOne);
    EXPECT_EQ(t.Marks.PendingChangeCount(), 1);
    EXPECT_EQ(t.Marks.State(), TTableState::Browse);
    t.Insert({"w"});
    EXPECT_EQ(t.Marks.FieldNamed("id").AsInt(), 10); // the cancelled rows' ids are free again
}
