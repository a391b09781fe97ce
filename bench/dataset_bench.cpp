// The table engine on a generated database of 100,000 marks in 2,000 categories:
// opening, following the master, editing and counting changes, merging and saving.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <optional>

#include "client_dataset.h"
#include "data_packet.h"
#include "edit_history.h"
#include "marks_generator.h"
#include "marks_schema.h"

namespace {

const std::string& CatsPacket()
{
    static const std::string packet = WriteXmlPacket(GenerateCategories({}));
    return packet;
}

const std::string& MarksPacket()
{
    static const std::string packet = WriteXmlPacket(GenerateMarks({}));
    return packet;
}

struct TTables {
    TClientDataSet Cats{CatsSchema()};
    TClientDataSet Marks{MarksSchema()};
    TTables()
    {
        Marks.SetMasterSource(&Cats, "id");
        Cats.SetPacketText(CatsPacket());
        Marks.SetPacketText(MarksPacket());
    }
};

void BM_OpenMarksTable(benchmark::State& state)
{
    TClientDataSet cats(CatsSchema());
    cats.SetPacketText(CatsPacket());
    for (auto _ : state) {
        TClientDataSet marks(MarksSchema());
        marks.SetMasterSource(&cats, "id");
        marks.SetPacketText(MarksPacket());
        benchmark::DoNotOptimize(marks.RecordCount());
    }
}
BENCHMARK(BM_OpenMarksTable)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_MoveMasterAndReadFirstMark(benchmark::State& state)
{
    TTables t;
    t.Cats.GoFirst();
    long step = 1;
    for (auto _ : state) {
        t.Cats.GoBy(step);
        if (t.Cats.RowNumber() == 1 || t.Cats.AtEnd() || t.Cats.RowNumber() == t.Cats.RecordCount())
            step = -step;
        benchmark::DoNotOptimize(t.Marks.FieldNamed("name").AsText());
    }
}
BENCHMARK(BM_MoveMasterAndReadFirstMark)->Unit(benchmark::kMicrosecond);

void BM_PendingChangeCountAfter10000Edits(benchmark::State& state)
{
    TTables t;
    t.Marks.SetMasterSource(nullptr, {});
    t.Marks.SetPacketText(MarksPacket());
    t.Marks.GoFirst();
    for (int i = 0; i < 10000; ++i) {
        t.Marks.BeginEdit();
        t.Marks.FieldNamed("scale2").SetAsText(std::to_string(i));
        t.Marks.PostRow();
        t.Marks.GoBy(7);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(t.Marks.PendingChangeCount());
}
BENCHMARK(BM_PendingChangeCountAfter10000Edits)->Unit(benchmark::kMillisecond);

// With an edit history (range 1), each edit is also a step of the history.
void BM_10000Edits(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        TClientDataSet marks(MarksSchema());
        std::optional<TEditHistory> history;
        if (state.range(0))
            history.emplace(std::vector<THistoryTable>{{&marks, "Mark", "Marks"}});
        marks.SetPacketText(MarksPacket());
        marks.GoFirst();
        state.ResumeTiming();
        for (int i = 0; i < 10000; ++i) {
            marks.BeginEdit();
            marks.FieldNamed("name").SetAsText("Renamed " + std::to_string(i));
            marks.PostRow();
            marks.GoBy(7);
        }
    }
}
BENCHMARK(BM_10000Edits)->Unit(benchmark::kMillisecond)->Iterations(2)->Arg(0)->Arg(1);

void BM_MergeAndSave(benchmark::State& state)
{
    const auto path = std::filesystem::temp_directory_path() / "marks-bench-save.sml";
    for (auto _ : state) {
        state.PauseTiming();
        TClientDataSet marks(MarksSchema());
        marks.SetPacketText(MarksPacket());
        marks.GoFirst();
        for (int i = 0; i < 1000; ++i) {
            marks.BeginEdit();
            marks.FieldNamed("scale2").SetAsText(std::to_string(i));
            marks.PostRow();
            marks.GoBy(50);
        }
        state.ResumeTiming();
        marks.MergeChanges();
        marks.SaveTableXml(path);
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_MergeAndSave)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
