#include "row_store.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>

#include "client_dataset.h"
#include "mark_geometry.h"
#include "marks_schema.h"
#include "packet_test_support.h"
#include "packet_values.h"

using namespace packet_test;

namespace {

// Every form a slot holds, with the edges of each: the extreme integers, floats
// whose bits matter (-0, infinity, NaN), both flags, an empty string (not null) and
// bytes with NULs and high bytes.
std::vector<TFieldValue> EveryForm()
{
    return {TFieldValue{},
            std::numeric_limits<std::int64_t>::min(),
            std::numeric_limits<std::int64_t>::max(),
            -0.0,
            std::numeric_limits<double>::infinity(),
            true,
            false,
            std::string(),
            std::string("a\0b\xff\x98", 5)};
}

std::string BlobText(std::size_t size)
{
    std::string blob(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        blob[i] = static_cast<char>(i * 7 + i / 251);
    return blob;
}

TEST(TByteBlock, GrowsKeepingItsBytesAndHandsALargeBlockGivenUpToTheNext)
{
    TByteBlock a;
    std::memcpy(a.Extend(3), "abc", 3);
    for (int i = 0; i < 20; ++i)
        a.ExtendZeroed(100000);
    ASSERT_EQ(a.Size(), 2000003u);
    EXPECT_EQ(std::string_view(a.Data(), 3), "abc");
    EXPECT_EQ(a.Data()[2000002], 0);

    // Larger than all other spares together may be, so the next block that grows
    // as large takes this one, bytes copied over.
    a.Reserve(std::size_t{100} << 20);
    const char* given = a.Data();
    a.Clear();
    EXPECT_EQ(a.Size(), 0u);
    TByteBlock b;
    std::memcpy(b.Extend(2), "xy", 2);
    b.Reserve(std::size_t{80} << 20);
    EXPECT_EQ(b.Data(), given);
    EXPECT_EQ(std::string_view(b.Data(), 2), "xy");
    TByteBlock c = std::move(b);
    EXPECT_EQ(c.Data(), given);
    EXPECT_EQ(b.Data(), nullptr);
}

namespace {

// The line of /proc/self/maps holding the address, as [begin, end).
std::pair<std::uintptr_t, std::uintptr_t> MappingOf(const void* address)
{
    std::ifstream maps("/proc/self/maps");
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    for (std::string line; std::getline(maps, line);) {
        unsigned long begin = 0, end = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx", &begin, &end) == 2 && begin <= at && at < end)
            return {begin, end};
    }
    return {0, 0};
}

} // namespace

TEST(TByteBlock, LargeBlocksGrownInTurnsStayOneMappingEach)
{
    // Two blocks growing in turn take each other's addresses, so most growths move
    // a block. A moved block that were several mappings could neither grow in place
    // nor, on older systems, move again.
    TByteBlock blocks[2];
    int moves = 0;
    for (int round = 0; round < 24; ++round) {
        TByteBlock& block = blocks[round % 2];
        const char* before = block.Data();
        const std::size_t size = block.Size();
        std::memset(block.Extend(std::size_t{3} << 20), 'a' + round, std::size_t{3} << 20);
        moves += before && block.Data() != before;
        const auto [begin, end] = MappingOf(block.Data());
        EXPECT_LE(begin, reinterpret_cast<std::uintptr_t>(block.Data()));
        EXPECT_GE(end, reinterpret_cast<std::uintptr_t>(block.Data() + block.Size())) << round;
        EXPECT_EQ(block.Data()[size], 'a' + round);
        if (size > 0) {
            EXPECT_EQ(block.Data()[size - 1], 'a' + round - 2);
        }
    }
    EXPECT_GT(moves, 0);
}

TEST(TRowStore, ValuesOfEveryFormComeBackAsStored)
{
    const std::vector<TFieldValue> values = EveryForm();
    TRowStore store;
    store.Reset(values.size());
    EXPECT_EQ(store.AppendRow(rsInserted, values), 0u);
    // A NaN keeps its bits; it only compares unequal.
    std::vector<TFieldValue> nan = values;
    nan[3] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(store.AppendRow(0, nan), 1u);

    ASSERT_EQ(store.RowCount(), 2u);
    EXPECT_EQ(store.RowState(0), rsInserted);
    for (std::size_t f = 0; f < values.size(); ++f)
        EXPECT_EQ(ValueOf(store.Value(0, f)), values[f]) << f;
    EXPECT_TRUE(std::signbit(std::get<double>(store.Value(0, 3))));
    EXPECT_TRUE(std::isnan(std::get<double>(store.Value(1, 3))));
    EXPECT_EQ(store.Value(0, values.size()), TValueView()) << "a field past the row reads as null";
    EXPECT_TRUE(store.SameValues(0, 0));
    EXPECT_FALSE(store.SameValues(0, 1));
    EXPECT_EQ(store.StoredRows()[0].Values, values);
}

TEST(TRowStore, LongValuesAndValuesCopiedFromTheArenaItself)
{
    // Past 16 MB a value's length no longer fits its slot.
    const std::string longBlob = BlobText((std::size_t{1} << 24) + 5);
    TRowStore store;
    store.Reset(2);
    store.AppendRow(0, {std::string("short"), longBlob});
    store.AppendRow(0, {std::string(), std::string("x")});
    EXPECT_EQ(std::get<std::string_view>(store.Value(0, 1)), longBlob);
    EXPECT_EQ(std::get<std::string_view>(store.Value(0, 0)), "short");

    // Values of a row set from views of another row's bytes, while the arena grows.
    for (int i = 0; i < 3; ++i) {
        store.AddRow();
        store.SetValue(0, store.Value(0, 0));
        store.SetValue(1, store.Value(0, 1));
    }
    EXPECT_EQ(std::get<std::string_view>(store.Value(4, 1)), longBlob);
    EXPECT_EQ(std::get<std::string_view>(store.Value(4, 0)), "short");
    EXPECT_TRUE(store.SameValues(0, 4));
}

TEST(TRowStore, ReadsPacketsAsThePlainReaderDoes)
{
    TPacketContent c = MarksContent();
    const std::string blob = BlobText(24 * 1000);
    c.Rows.push_back({0,
                      {std::int64_t{1}, std::string("Tom & \"Jerry\" <'o'>\t\r\n\\ \xc6"), std::string("line\r\nnext"),
                       std::int64_t{-5}, TFieldValue{}, blob, 1.5, -0.25, 1e300, TFieldValue{}, std::int64_t{255},
                       std::int64_t{0}, false, std::string(), std::int64_t{3}}});
    c.Rows.push_back({rsDeleted, std::vector<TFieldValue>(15)});
    c.ChangeLog.push_back({1, kNoRow, caDelete});
    std::string packet = WriteXmlPacket(c);
    // A second attribute for a field replaces the first, a bad number reads as null,
    // and an attribute of no field is skipped.
    packet.replace(packet.find("<ROW RowState=\"2\""), 17,
                   "<ROW RowState=\"2\" name=\"first\" other=\"x\" name=\"second\" scale1=\"abc\" scale1=\"x7\"");

    TRowStore store;
    const TPacketContent meta = ReadPacket(packet, store);
    const TPacketContent plain = ReadPacket(packet);
    EXPECT_TRUE(meta.Rows.empty());
    EXPECT_EQ(meta.ChangeLog, plain.ChangeLog);
    ASSERT_EQ(store.RowCount(), 2u);
    const std::vector<TStoredRow> rows = store.StoredRows();
    for (std::size_t r = 0; r < 2; ++r) {
        EXPECT_EQ(rows[r].State, plain.Rows[r].State) << r;
        EXPECT_EQ(rows[r].Values, plain.Rows[r].Values) << r;
    }
    EXPECT_EQ(rows[1].Values[1], TFieldValue(std::string("second")));
    EXPECT_EQ(rows[0].Values, c.Rows[0].Values);
    EXPECT_EQ(WriteXmlPacket(meta, store), WriteXmlPacket(plain));

    // An empty text as the first value read, before the arena holds any byte.
    TRowStore first;
    ReadPacket(Packet(kMarksFields, "<PARAMS/>", "<ROW name=\"\"/>"), first);
    EXPECT_EQ(first.StoredRows().at(0).Values[1], TFieldValue(std::string()));
}

TEST(TRowStore, ReadsBlobsWhoseTextIsLongerThanASlotCanSay)
{
    // One decodes to less than 16 MB from more than 16 MB of text, one to more.
    for (std::size_t size : {std::size_t{13} << 20, (std::size_t{1} << 24) + 3}) {
        const std::string blob = BlobText(size);
        std::string text;
        AppendBase64(text, blob);
        const std::string packet = Packet(kMarksFields, "<PARAMS/>",
                                          "<ROW name=\"a\" lonlatarr=\"" + text + "\" picname=\"p\"/><ROW name=\"b\"/>");
        TRowStore store;
        ReadPacket(packet, store);
        ASSERT_EQ(store.RowCount(), 2u);
        EXPECT_TRUE(std::get<std::string_view>(store.Value(0, 5)) == blob) << size;
        EXPECT_EQ(std::get<std::string_view>(store.Value(0, 13)), "p");
        EXPECT_EQ(std::get<std::string_view>(store.Value(1, 1)), "b");
    }
}

TEST(TRowStore, TruncateGivesBackTheBytesOfTheRowsRemoved)
{
    TRowStore store;
    store.Reset(2);
    store.AppendRow(0, {std::string("kept"), std::int64_t{1}});
    const std::size_t kept = store.ArenaSize();
    store.AppendRow(rsInserted, {std::string(1000, 'x'), TFieldValue{}});
    store.AppendRow(rsInserted, {TFieldValue{}, std::string(1000, 'y')});
    store.Truncate(1);
    EXPECT_EQ(store.RowCount(), 1u);
    EXPECT_EQ(store.ArenaSize(), kept);
    store.AppendRow(0, {std::string("next"), TFieldValue{}});
    EXPECT_EQ(std::get<std::string_view>(store.Value(0, 0)), "kept");
    EXPECT_EQ(std::get<std::string_view>(store.Value(1, 0)), "next");
}

TEST(TRowStore, CompactKeepsTheListedRowsAndBoundsTheArena)
{
    TRowStore store;
    store.Reset(2);
    const std::string big(100000, 'b');
    store.AppendRow(0, {std::string("zero"), big});
    store.AppendRow(0, {std::string("one"), TFieldValue{}});
    // Editing the big value again and again, merging after each edit: the old
    // versions are dropped and the arena stays near what the rows hold.
    for (int i = 0; i < 50; ++i) {
        store.SetRowState(0, rsOriginal);
        std::string edited = big;
        edited[0] = static_cast<char>('A' + i % 26);
        store.AppendRow(rsModified, {std::string("zero"), edited});
        store.Compact({2, 1});
        ASSERT_EQ(store.RowCount(), 2u);
        EXPECT_EQ(store.RowState(0), 0);
        EXPECT_EQ(std::get<std::string_view>(store.Value(0, 1)), edited);
        EXPECT_EQ(std::get<std::string_view>(store.Value(1, 0)), "one");
        EXPECT_LE(store.ArenaSize(), 3 * big.size()) << i;
    }
    // Reordering rows keeps the values with their rows; keeping every row in place
    // only clears the states.
    store.Compact({1, 0});
    EXPECT_EQ(std::get<std::string_view>(store.Value(0, 0)), "one");
    EXPECT_EQ(std::get<std::string_view>(store.Value(1, 0)), "zero");
    store.SetRowState(1, rsModified);
    store.Compact({0, 1});
    EXPECT_EQ(store.RowState(1), 0);
    store.Compact({});
    EXPECT_EQ(store.RowCount(), 0u);
}

TEST(TRowStore, ATableKeepsEveryVersionUntilItMergesAndReadsBytesInPlace)
{
    TClientDataSet marks(MarksSchema());
    TPacketContent c = MarksContent();
    for (std::int64_t id = 1; id <= 3; ++id)
        c.Rows.push_back({0,
                          {id, "m" + std::to_string(id), "descr " + std::to_string(id), TFieldValue{}, TFieldValue{},
                           PointRecord(id, -id), TFieldValue{}, TFieldValue{}, TFieldValue{}, TFieldValue{},
                           std::int64_t{id}, TFieldValue{}, true, std::string(), std::int64_t{1}}});
    marks.SetPacketText(WriteXmlPacket(c));

    marks.GoFirst();
    TField& descr = marks.FieldNamed("descr");
    // A row's texts lie one after the other in the table's one arena, and are read
    // there: the description begins where the name ends.
    const std::string_view name = marks.FieldNamed("name").AsBytes();
    EXPECT_EQ(name, "m1");
    EXPECT_EQ(descr.AsBytes(), "descr 1");
    EXPECT_EQ(descr.AsBytes().data(), name.data() + name.size()) << "read where it is kept, not copied";
    marks.BeginEdit();
    descr.SetAsText("changed");
    marks.PostRow();
    marks.GoNext();
    marks.DeleteRow();

    TPacketContent before = marks.Content();
    ASSERT_EQ(before.Rows.size(), 4u);
    EXPECT_EQ(before.Rows[0].State, rsOriginal);
    EXPECT_EQ(before.Rows[0].Values[2], TFieldValue(std::string("descr 1")));
    EXPECT_EQ(before.Rows[3].State, rsModified);
    EXPECT_EQ(before.Rows[3].Values[2], TFieldValue(std::string("changed")));
    EXPECT_EQ(marks.PendingChangeCount(), 2);

    marks.MergeChanges();
    const TPacketContent after = marks.Content();
    ASSERT_EQ(after.Rows.size(), 2u);
    EXPECT_EQ(after.Rows[0].Values[2], TFieldValue(std::string("changed")));
    EXPECT_EQ(after.Rows[0].Values[5], TFieldValue(PointRecord(1, -1)));
    EXPECT_EQ(after.Rows[1].Values, c.Rows[2].Values);
    EXPECT_EQ(marks.PendingChangeCount(), 0);
    marks.GoFirst();
    EXPECT_EQ(marks.FieldNamed("lonlatarr").AsBytes(), PointRecord(1, -1));
    EXPECT_EQ(marks.FieldNamed("descr").TextAt(1), "descr 3");
}

} // namespace
