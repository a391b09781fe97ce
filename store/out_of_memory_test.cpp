// Operations stopped by a lack of memory leave their tables as they were, and a
// lack of memory reads as a sentence.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <new>
#include <system_error>

#include "byte_block.h"
#include "client_dataset.h"
#include "edit_history.h"
#include "mark_drop.h"
#include "marks_error.h"
#include "marks_schema.h"

namespace {

// Allocations still allowed while a test limits them; -1 when it does not.
long gAllocationsLeft = -1;

bool AllocationFails()
{
    if (gAllocationsLeft > 0)
        --gAllocationsLeft;
    else if (gAllocationsLeft == 0)
        return true;
    return false;
}

// Runs the operation with allocations failing from the first, the second, ... one
// on until it completes, and after each failure asks whether the tables read as
// before; returns how often it failed.
long FailuresUntilDone(const std::function<void()>& operation, const std::function<bool()>& unchanged)
{
    SetBlockAllocationCheck(AllocationFails);
    for (long failures = 0;; ++failures) {
        gAllocationsLeft = failures;
        try {
            operation();
            gAllocationsLeft = -1;
            return failures;
        } catch (const std::bad_alloc&) {
            gAllocationsLeft = -1;
        }
        if (!unchanged()) {
            ADD_FAILURE() << "changed by a failure at allocation " << failures;
            return failures;
        }
    }
}

// Everything a table shows: its rows and log, its state, the current or edited
// row's values and the ids of its view in order. Read without settling an edit.
std::string Reading(TClientDataSet& t)
{
    std::string out = WriteXmlPacket(t.Content());
    out += "|state " + std::to_string(static_cast<int>(t.State())) + " row " + std::to_string(t.RowNumber()) +
           " pending " + std::to_string(t.PendingChangeCount()) + "|";
    for (std::size_t f = 0; f < t.FieldTotal(); ++f)
        out += t.FieldAt(f).AsText() + ";";
    for (std::size_t p = 0; p < t.RecordCount(); ++p)
        out += t.FieldNamed("id").TextAt(p) + ",";
    return out;
}

// Marks 1..count spread over categories 1..3, each with a description.
std::string MarksPacket(std::int64_t count)
{
    TPacketContent marks = EmptyMarksPacket();
    for (std::int64_t id = 1; id <= count; ++id) {
        std::vector<TFieldValue> values(15);
        values[0] = id;
        values[1] = "mark " + std::to_string(id);
        values[2] = "description of mark " + std::to_string(id);
        values[3] = id % 7;
        values[14] = 1 + id % 3;
        marks.Rows.push_back({0, values});
    }
    marks.AutoIncValue = count + 1;
    return WriteXmlPacket(marks);
}

void Rename(TClientDataSet& t, const std::string& name)
{
    t.BeginEdit();
    t.FieldNamed("name").SetAsText(name);
    t.PostRow();
}

} // namespace

// The limit replaces the global allocation functions of this test program. They
// allocate with malloc and release with free, a pairing the compiler cannot see
// through the replacement.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    void* p = AllocationFails() ? nullptr : std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return AllocationFails() ? nullptr : std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return ::operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop

TEST(OutOfMemory, AFailedMergeLeavesTheTableAsItWasAndTheNextSaveKeepsEveryMark)
{
    TClientDataSet marks(MarksSchema());
    marks.SetPacketText(MarksPacket(20000));
    marks.GoBy(100);
    Rename(marks, "edited");
    marks.GoBy(200);
    marks.DeleteRow();
    marks.BeginInsert();
    marks.FieldNamed("name").SetAsText("inserted");
    marks.PostRow();
    const std::string before = Reading(marks);

    EXPECT_GT(FailuresUntilDone([&] { marks.MergeChanges(); }, [&] { return Reading(marks) == before; }), 3);
    const TPacketContent saved = ReadPacket(marks.PacketText());
    ASSERT_EQ(saved.Rows.size(), 20000u);
    EXPECT_TRUE(saved.ChangeLog.empty());
    int found = 0;
    for (const TStoredRow& row : saved.Rows)
        found += row.Values[1] == TFieldValue(std::string("edited")) || row.Values[1] == TFieldValue(std::string("inserted"));
    EXPECT_EQ(found, 2);
}

TEST(OutOfMemory, AFailedPostOrDeleteKeepsTheEditAndTheTableWhole)
{
    // With a history listening: it may fail to note a change, never stop one.
    struct TTables {
        TClientDataSet Cats{CatsSchema()};
        TClientDataSet Marks{MarksSchema()};
        TEditHistory History{{{&Cats, "Category", "Categories"}, {&Marks, "Mark", "Marks"}}};
    };
    struct TCase {
        const char* Name;
        std::function<void(TTables&)> Prepare; // puts the tables where the operation starts
        std::function<void(TTables&)> Operation;
    };
    const std::vector<TCase> cases = {
        {"insert", [](TTables& t) { t.Marks.BeginInsert(); t.Marks.FieldNamed("name").SetAsText("new"); },
         [](TTables& t) { t.Marks.PostRow(); }},
        {"edit that moves the mark",
         [](TTables& t) {
             t.Marks.GoBy(2);
             t.Marks.BeginEdit();
             t.Marks.FieldNamed("scale1").SetAsText("99");
             t.Marks.FieldNamed("descr").SetAsText(std::string(5000, 'd'));
         },
         [](TTables& t) { t.Marks.PostRow(); }},
        {"insert of a category, which moves the marks' view",
         [](TTables& t) { t.Cats.BeginInsert(); t.Cats.FieldNamed("name").SetAsText("a new category"); },
         [](TTables& t) { t.Cats.PostRow(); }},
        {"delete", [](TTables& t) { t.Marks.GoBy(3); }, [](TTables& t) { t.Marks.DeleteRow(); }},
        {"bulk insert", [](TTables&) {},
         [](TTables& t) {
             TBulkInsert bulk(t.Marks);
             for (const char* name : {"x", "b", "m"}) {
                 t.Marks.BeginInsert();
                 t.Marks.FieldNamed("name").SetAsText(name);
                 t.Marks.PostRow();
             }
             bulk.Commit();
         }},
    };
    for (const TCase& c : cases) {
        TTables t;
        t.Marks.SetMasterSource(&t.Cats, "id");
        TPacketContent cats = EmptyCatsPacket();
        for (std::int64_t id : {1, 2, 3})
            cats.Rows.push_back({0, {id, "c" + std::to_string(id), true, TFieldValue{}, TFieldValue{}}});
        cats.AutoIncValue = 4;
        t.Cats.SetPacketText(WriteXmlPacket(cats));
        t.Marks.SetPacketText(MarksPacket(300));
        c.Prepare(t);
        const std::string before = Reading(t.Cats) + Reading(t.Marks);

        EXPECT_GT(FailuresUntilDone([&] { c.Operation(t); },
                                    [&] { return Reading(t.Cats) + Reading(t.Marks) == before; }),
                  0)
            << c.Name;
        EXPECT_NE(Reading(t.Cats) + Reading(t.Marks), before) << c.Name;
        EXPECT_EQ(t.Marks.State(), TTableState::Browse) << c.Name;
    }
}

TEST(OutOfMemory, ErrorsFromOutsideTheProgramReadAsSentences)
{
    auto shown = [](auto error) {
        try {
            throw error;
        } catch (...) {
            return ErrorMessageOf();
        }
    };
    const std::string internal = "The operation could not be completed because of an internal error.";
    EXPECT_EQ(shown(EMarksError("CDCats: Field value required.")), "CDCats: Field value required.");
    EXPECT_EQ(shown(std::bad_alloc()), "Insufficient memory for this operation.");
    EXPECT_EQ(shown(std::length_error("vector::_M_realloc_insert")), "Insufficient memory for this operation.");
    EXPECT_EQ(shown(std::filesystem::filesystem_error("cannot", "/x/y", std::make_error_code(std::errc::permission_denied))),
              "A file operation on \"/x/y\" failed. Permission denied.");
    EXPECT_EQ(shown(std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again))),
              "The operation failed. Resource temporarily unavailable.");
    EXPECT_EQ(shown(std::out_of_range("vector::_M_range_check")), internal);
    EXPECT_EQ(shown(42), internal);
}

TEST(OutOfMemory, AnUndoOrRedoThatRunsOutOfMemoryLeavesTheTablesAsTheyWere)
{
    struct TCase {
        const char* Name;
        bool Saved;   // the steps were merged before the undo
        bool Redo;    // the step was undone and is made again
    };
    for (const TCase& c : {TCase{"undo", false, false}, TCase{"undo after a save", true, false},
                           TCase{"redo", false, true}, TCase{"redo after a save", true, true}}) {
        TClientDataSet cats(CatsSchema()), marks(MarksSchema());
        TEditHistory history({{&cats, "Category", "Categories"}, {&marks, "Mark", "Marks"}});
        marks.SetMasterSource(&cats, "id");
        TPacketContent c3 = EmptyCatsPacket();
        for (std::int64_t id : {1, 2, 3})
            c3.Rows.push_back({0, {id, "c" + std::to_string(id), true, TFieldValue{}, TFieldValue{}}});
        c3.AutoIncValue = 4;
        cats.SetPacketText(WriteXmlPacket(c3));
        marks.SetPacketText(MarksPacket(300));
        // One step that moves marks, deletes a category and inserts marks.
        history.BeginStep("Change");
        std::vector<TRowRef> selection;
        for (marks.GoFirst(); !marks.AtEnd() && selection.size() < 20; marks.GoNext())
            selection.push_back(marks.CurrentRowRef());
        DropMarks(cats, cats.RowRefAt(2), marks, {marks, selection});
        marks.GoBy(5);
        marks.DeleteRow();
        cats.GoBy(1);
        cats.DeleteRow();
        {
            TBulkInsert bulk(marks);
            for (int i = 0; i < 30; ++i) {
                marks.BeginInsert();
                marks.FieldNamed("name").SetAsText("new " + std::to_string(i));
                marks.PostRow();
            }
            bulk.Commit();
        }
        history.EndStep();
        if (c.Saved) {
            cats.MergeChanges();
            marks.MergeChanges();
        }
        if (c.Redo)
            history.Undo();
        const std::string before = Reading(cats) + Reading(marks);
        EXPECT_GT(FailuresUntilDone([&] { c.Redo ? history.Redo() : history.Undo(); },
                                    [&] { return Reading(cats) + Reading(marks) == before; }),
                  3)
            << c.Name;
        EXPECT_NE(Reading(cats) + Reading(marks), before) << c.Name;
        EXPECT_EQ(history.CanRedo(), !c.Redo) << c.Name;
    }
}
