// The view order of a table opened at once, against the same rows posted one by
// one, and against the order the collation gives; with nulls and ties in the
// integer order fields, so both ways of comparing are exercised.
#include <gtest/gtest.h>

#include <random>

#include "client_dataset.h"
#include "marks_schema.h"
#include "packet_test_support.h"

using namespace packet_test;

namespace {

const char* const kNames[] = {"b", "B", "a", "\xe0", "\xc0", "Zed", "zed", "a b", "ab", "", "\xb8", "\xe5"};

// Rows in view order as "category|scale|name" (an empty part for null).
std::vector<std::string> ViewOrder(TClientDataSet& marks)
{
    std::vector<std::string> out;
    TField& category = marks.FieldNamed("categoryid");
    TField& scale = marks.FieldNamed("scale1");
    TField& name = marks.FieldNamed("name");
    for (marks.GoFirst(); !marks.AtEnd(); marks.GoNext())
        out.push_back(category.AsText() + "|" + scale.AsText() + "|" + (name.IsNull() ? "-" : name.AsText()));
    return out;
}

} // namespace

TEST(DatasetOrder, OpenedAtOnceAsPostedOneByOne)
{
    std::mt19937 rng(5);
    TPacketContent c = MarksContent();
    std::vector<std::vector<TFieldValue>> values;
    for (int i = 0; i < 600; ++i) {
        TFieldValue category, scale, name;
        if (rng() % 10 != 0)
            category = std::int64_t(rng() % 4) - 1;
        if (rng() % 8 != 0)
            scale = std::int64_t(rng() % 3);
        if (rng() % 12 != 0)
            name = std::string(kNames[rng() % 12]);
        values.push_back({std::int64_t{i + 1}, name, TFieldValue{}, scale, TFieldValue{}, TFieldValue{}, TFieldValue{},
                          TFieldValue{}, TFieldValue{}, TFieldValue{}, TFieldValue{}, TFieldValue{}, true,
                          TFieldValue{}, category});
        c.Rows.push_back({0, values.back()});
    }
    c.AutoIncValue = 601;
    TClientDataSet atOnce(MarksSchema());
    atOnce.SetPacketText(WriteXmlPacket(c));

    TPacketContent empty = MarksContent();
    empty.AutoIncValue = 1;
    TClientDataSet posted(MarksSchema());
    posted.SetPacketText(WriteXmlPacket(empty));
    for (const auto& row : values) {
        posted.BeginInsert();
        for (const char* field : {"name", "scale1", "categoryid", "visible"}) {
            const TFieldValue& v = row[static_cast<size_t>(posted.FieldNamed(field).Index())];
            posted.FieldNamed(field).SetAsValue(v);
        }
        posted.PostRow();
    }
    const std::vector<std::string> order = ViewOrder(atOnce);
    EXPECT_EQ(ViewOrder(posted), order);

    // Nulls first in each field, numbers by value, names alphabetically with letter
    // case as the tie-break; equal rows keep the order they were read in.
    const TCollator collator;
    for (size_t i = 1; i < order.size(); ++i) {
        auto part = [](const std::string& s, int n) {
            size_t from = 0;
            for (int k = 0; k < n; ++k)
                from = s.find('|', from) + 1;
            return s.substr(from, s.find('|', from) == std::string::npos ? std::string::npos : s.find('|', from) - from);
        };
        auto number = [](const std::string& s) { return s.empty() ? -100 : std::stoi(s); };
        const std::string& a = order[i - 1];
        const std::string& b = order[i];
        if (number(part(a, 0)) != number(part(b, 0))) {
            EXPECT_LT(number(part(a, 0)), number(part(b, 0))) << i;
        } else if (number(part(a, 1)) != number(part(b, 1))) {
            EXPECT_LT(number(part(a, 1)), number(part(b, 1))) << i;
        } else if (part(a, 2) != "-" && part(b, 2) != "-") {
            EXPECT_LE(collator.Compare(part(a, 2), part(b, 2)), 0) << a << " before " << b;
        } else {
            EXPECT_TRUE(part(a, 2) == "-" || part(b, 2) != "-") << a << " before " << b;
        }
    }
}
