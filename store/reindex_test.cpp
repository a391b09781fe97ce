// Renumbering the marks through the XML DOM: ids in storage order, texts byte for
// byte, the change log kept, and clear failures that leave the table as it was.
#include "reindex.h"

#include <gtest/gtest.h>

#include "marks_schema.h"
#include "packet_test_support.h"
#include "test_helpers.h"

using namespace packet_test;

namespace {

TStoredRow Mark(std::int64_t id, std::string name, std::int64_t category)
{
    TStoredRow row;
    row.Values.resize(15);
    row.Values[0] = id;
    row.Values[1] = std::move(name);
    row.Values[14] = category;
    return row;
}

std::string MarksPacket(std::vector<TStoredRow> rows, std::int64_t next)
{
    TPacketContent c = MarksContent();
    c.Rows = std::move(rows);
    c.AutoIncValue = next;
    return WriteXmlPacket(c);
}

std::vector<std::int64_t> StoredIds(const TClientDataSet& marks)
{
    std::vector<std::int64_t> ids;
    const TPacketContent content = marks.Content();
    for (const TStoredRow& row : content.Rows)
        ids.push_back(std::get<std::int64_t>(row.Values[0]));
    return ids;
}

} // namespace

TEST(Reindex, RenumbersInStorageOrderFromZero)
{
    TClientDataSet marks(MarksSchema());
    marks.SetPacketText(MarksPacket({Mark(40, "B", 2), Mark(7, "A", 1), Mark(12, "C", 2)}, 57));
    ReindexMarks(marks);
    EXPECT_EQ(StoredIds(marks), (std::vector<std::int64_t>{0, 1, 2}));
    EXPECT_EQ(marks.Content().AutoIncValue, 3);
    EXPECT_EQ(marks.PendingChangeCount(), 0);
    const std::string once = marks.PacketText();
    ReindexMarks(marks);
    EXPECT_EQ(marks.PacketText(), once);

    marks.BeginInsert();
    marks.FieldNamed("name").SetAsText("new");
    marks.PostRow();
    EXPECT_EQ(marks.FieldNamed("id").AsInt(), 3);

    TClientDataSet empty(MarksSchema());
    empty.SetPacketText(MarksPacket({}, 9));
    ReindexMarks(empty);
    EXPECT_EQ(empty.Content().AutoIncValue, 0);
}

TEST(Reindex, EveryByteTheReaderTakesComesBack)
{
    // 0x98 is the byte the code page leaves undefined; the others need escapes or
    // are Cyrillic letters.
    std::string name = "\x98 Tom & \"Jerry\" 'o' <\\> \t\xc6\xf3\xea \xb8\xa8 \xff\x80";
    TClientDataSet marks(MarksSchema());
    marks.SetPacketText(MarksPacket({Mark(5, name, 1), Mark(6, "\x98", 1)}, 7));
    testing::internal::CaptureStderr();
    ReindexMarks(marks);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(marks.Content().Rows.size(), 2u);
    EXPECT_EQ(marks.Content().Rows[0].Values[1], TFieldValue(name));
    EXPECT_EQ(marks.Content().Rows[1].Values[1], TFieldValue(std::string("\x98")));
    EXPECT_EQ(StoredIds(marks), (std::vector<std::int64_t>{0, 1}));

    // With a pending edit the ids run over both versions of the row.
    marks.GoFirst();
    marks.BeginEdit();
    marks.FieldNamed("name").SetAsText("edited");
    marks.PostRow();
    ReindexMarks(marks);
    EXPECT_EQ(StoredIds(marks), (std::vector<std::int64_t>{0, 1, 2}));
    EXPECT_EQ(marks.PendingChangeCount(), 1);
}

TEST(Reindex, FailuresLeaveTheTableAsItWas)
{
    TClientDataSet closed(MarksSchema());
    testing::internal::CaptureStderr();
    std::string message = ErrorText([&] { ReindexMarks(closed); });
    EXPECT_NE(message.find("\nLine: "), std::string::npos) << message;
    EXPECT_FALSE(closed.IsOpen());
    EXPECT_FALSE(closed.ViewsSuspended());

    // A control character the DOM refuses: the message names the line and shows
    // its start, and the table keeps its content.
    TClientDataSet marks(MarksSchema());
    marks.SetPacketText(MarksPacket({Mark(1, "bell\x07", 1)}, 2));
    const std::string before = marks.PacketText();
    message = ErrorText([&] { ReindexMarks(marks); });
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    const std::string tail = "\nLine: 1\n<?xml version=\"1.0\" encoding=\"windows-12"; // 40 characters of the line
    ASSERT_GT(message.size(), tail.size());
    EXPECT_EQ(message.substr(message.size() - tail.size()), tail) << message;
    EXPECT_EQ(marks.PacketText(), before);
    EXPECT_FALSE(marks.ViewsSuspended());
}
