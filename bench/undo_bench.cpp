// Undo and redo on the database of 100,000 marks in 50 categories (2,000 each): a drop
// moving 1,000 marks, and an import of 100,000 marks, each undone and redone while the
// step is held by change log position and, after a save, as row images. Then the
// memory a history of 100 steps holds.
#include <benchmark/benchmark.h>

#include "client_dataset.h"
#include "data_packet.h"
#include "edit_history.h"
#include "mark_drop.h"
#include "marks_generator.h"
#include "marks_schema.h"

namespace {

constexpr int kSelected = 1000;

const TGeneratorOptions& Options()
{
    static const TGeneratorOptions options{.Marks = 100000, .Categories = 50};
    return options;
}

const std::string& CatsPacket()
{
    static const std::string packet = WriteXmlPacket(GenerateCategories(Options()));
    return packet;
}

const std::string& MarksPacket()
{
    static const std::string packet = WriteXmlPacket(GenerateMarks(Options()));
    return packet;
}

// The marks an import brings: another database of 100,000.
const std::vector<TStoredRow>& ImportedRows()
{
    static const std::vector<TStoredRow> rows = [] {
        TGeneratorOptions options = Options();
        options.Seed = 2;
        return GenerateMarks(options).Rows;
    }();
    return rows;
}

struct TWindow {
    TClientDataSet Cats{CatsSchema()};
    TClientDataSet Marks{MarksSchema()};
    TEditHistory History{{{&Cats, "Category", "Categories"}, {&Marks, "Mark", "Marks"}}};

    TWindow()
    {
        Marks.SetMasterSource(&Cats, "id");
        Cats.SetPacketText(CatsPacket());
        Marks.SetPacketText(MarksPacket());
        Cats.GoFirst();
    }

    // Every other mark of the current category dropped on the category at a
    // position of the view (the second by default), as one step.
    void Drop(std::size_t count = kSelected, std::size_t target = 1)
    {
        std::vector<TRowRef> refs;
        for (Marks.GoFirst(); !Marks.AtEnd() && refs.size() < count; Marks.GoNext()) {
            refs.push_back(Marks.CurrentRowRef());
            Marks.GoNext();
        }
        THistoryStep step(&History, "Move");
        DropMarks(Cats, Cats.RowRefAt(target), Marks, {Marks, refs});
    }

    void Import()
    {
        THistoryStep step(&History, "Import");
        TSuspendedViews suspended(Marks);
        TBulkInsert bulk(Marks);
        for (const TStoredRow& row : ImportedRows()) {
            Marks.BeginInsert();
            for (std::size_t p = 1; p + 1 < Marks.FieldTotal(); ++p)
                Marks.FieldAt(p).SetAsValue(row.Values[p]);
            Marks.PostRow();
        }
        bulk.Commit();
    }

    void Save()
    {
        Cats.MergeChanges();
        Marks.MergeChanges();
    }
};

// Times undo, or redo, of the step made by make (after a save when saved).
template <class TMake>
void UndoRedo(benchmark::State& state, TMake make, bool redo, bool saved)
{
    TWindow w;
    if (redo) {
        make(w);
        if (saved)
            w.Save();
    }
    for (auto _ : state) {
        state.PauseTiming();
        if (redo) {
            w.History.Undo();
        } else {
            make(w);
            if (saved)
                w.Save();
        }
        state.ResumeTiming();
        redo ? w.History.Redo() : w.History.Undo();
    }
}

void BM_UndoDropOf1000(benchmark::State& s) { UndoRedo(s, [](TWindow& w) { w.Drop(); }, false, false); }
void BM_RedoDropOf1000(benchmark::State& s) { UndoRedo(s, [](TWindow& w) { w.Drop(); }, true, false); }
void BM_UndoDropOf1000AfterSave(benchmark::State& s) { UndoRedo(s, [](TWindow& w) { w.Drop(); }, false, true); }
void BM_RedoDropOf1000AfterSave(benchmark::State& s) { UndoRedo(s, [](TWindow& w) { w.Drop(); }, true, true); }
void BM_UndoImportOf100000(benchmark::State& s) { UndoRedo(s, [](TWindow& w) { w.Import(); }, false, false); }
void BM_RedoImportOf100000(benchmark::State& s) { UndoRedo(s, [](TWindow& w) { w.Import(); }, true, false); }
void BM_UndoImportOf100000AfterSave(benchmark::State& s) { UndoRedo(s, [](TWindow& w) { w.Import(); }, false, true); }
BENCHMARK(BM_UndoDropOf1000)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_RedoDropOf1000)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_UndoDropOf1000AfterSave)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_RedoDropOf1000AfterSave)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_UndoImportOf100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RedoImportOf100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_UndoImportOf100000AfterSave)->Unit(benchmark::kMillisecond)->Iterations(2);

// Bytes the history holds for 100 steps: single edits and drops of 100 marks, held
// by position and, after a save, as images; and the images an undone import keeps
// for its redo.
void BM_HistoryOf100Steps(benchmark::State& state)
{
    for (auto _ : state) {
        TWindow edits;
        edits.Marks.GoFirst();
        for (int i = 0; i < 100; ++i) {
            edits.Marks.BeginEdit();
            edits.Marks.FieldNamed("name").SetAsText("Renamed " + std::to_string(i));
            edits.Marks.PostRow();
            edits.Marks.GoBy(7);
        }
        state.counters["edits_held_kB"] = static_cast<double>(edits.History.BytesHeld()) / 1024;
        edits.Save();
        state.counters["edits_saved_kB"] = static_cast<double>(edits.History.BytesHeld()) / 1024;

        TWindow drops;
        // Back and forth between the first two categories.
        for (int i = 0; i < 100; ++i) {
            drops.Drop(100, i % 2 == 0 ? 1 : 0);
            drops.Cats.GoBy(i % 2 == 0 ? 1 : -1);
        }
        state.counters["drops"] = static_cast<double>(drops.History.StepCount());
        state.counters["drops_held_kB"] = static_cast<double>(drops.History.BytesHeld()) / 1024;
        drops.Save();
        state.counters["drops_saved_MB"] = static_cast<double>(drops.History.BytesHeld()) / (1 << 20);

        TWindow import;
        import.Import();
        import.History.Undo();
        state.counters["undone_import_MB"] = static_cast<double>(import.History.BytesHeld()) / (1 << 20);
    }
}
BENCHMARK(BM_HistoryOf100Steps)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
