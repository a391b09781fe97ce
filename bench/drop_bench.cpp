// Dropping 1,000 selected marks on another category, in a database of 100,000 marks
// in 50 categories (2,000 marks each): moved within one window, and copied from a
// second window's tables.
#include <benchmark/benchmark.h>

#include "client_dataset.h"
#include "data_packet.h"
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

struct TWindow {
    TClientDataSet Cats{CatsSchema()};
    TClientDataSet Marks{MarksSchema()};

    explicit TWindow(std::uint32_t seed)
    {
        TGeneratorOptions options = Options();
        options.Seed = seed;
        Marks.SetMasterSource(&Cats, "id");
        Cats.SetPacketText(WriteXmlPacket(GenerateCategories(options)));
        Marks.SetPacketText(WriteXmlPacket(GenerateMarks(options)));
    }

    // Every other mark of the current category, up to kSelected of them.
    std::vector<TRowRef> Selection()
    {
        std::vector<TRowRef> refs;
        for (Marks.GoFirst(); !Marks.AtEnd() && refs.size() < kSelected; Marks.GoNext()) {
            refs.push_back(Marks.CurrentRowRef());
            Marks.GoNext();
        }
        return refs;
    }
};

void BM_MoveSelectedMarks(benchmark::State& state)
{
    TWindow w(1);
    // Back and forth between the first two categories, so every drop moves 1,000.
    long offset = 1;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<TRowRef> selection = w.Selection();
        if (selection.size() != kSelected)
            state.SkipWithError("category too small");
        state.ResumeTiming();
        DropMarks(w.Cats, w.Cats.RowRefAt(w.Cats.RowNumber() - 1 + offset), w.Marks, {w.Marks, selection});
        state.PauseTiming();
        w.Cats.GoBy(offset);
        offset = -offset;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MoveSelectedMarks)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_CopySelectedMarksFromAnotherWindow(benchmark::State& state)
{
    TWindow source(1);
    TWindow target(2);
    source.Cats.GoFirst();
    std::vector<TRowRef> selection = source.Selection();
    for (auto _ : state)
        DropMarks(target.Cats, target.Cats.RowRefAt(1), target.Marks, {source.Marks, selection});
}
BENCHMARK(BM_CopySelectedMarksFromAnotherWindow)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

BENCHMARK_MAIN();
