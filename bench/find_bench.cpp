// The find bar on the generated database of 100,000 marks in 2,000 categories,
// offscreen in-process: from a changed search text to the result list's model
// ready (the search over every category and the list's reset), on names only and
// with descriptions; and the memory a search keeps.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>

#include <malloc.h>

#include <cstdio>
#include <memory>

#include "code_page.h"
#include "data_packet.h"
#include "find_bar.h"
#include "marks_generator.h"
#include "tfrm_main.h"

namespace {

struct TFindWindow {
    TfrmMain Window;
    TFindWindow()
    {
        Window.CDCats.SetPacketText(WriteXmlPacket(GenerateCategories({})));
        Window.CDMarks.SetPacketText(WriteXmlPacket(GenerateMarks({})));
        Window.show();
        Window.FindBar->Open();
        QApplication::processEvents();
    }
};

// Made on first use, gone before the application object.
std::unique_ptr<TFindWindow> GWindow;

TFindWindow& Window()
{
    if (!GWindow)
        GWindow = std::make_unique<TFindWindow>();
    return *GWindow;
}

// Texts people type: a Latin word (in 5% of the names), a Cyrillic one typed in
// capitals, a digit (in most names: far more than the list keeps), and a text in no
// mark.
const char* const kTexts[] = {"well", "ИСТОЧНИК", "5", "zzz"};

void FindText(benchmark::State& state, bool descriptions)
{
    TFindBar& bar = *Window().Window.FindBar;
    bar.FindDescr->setChecked(descriptions);
    const QString text = QString::fromStdString(kTexts[state.range(0)]);
    for (auto _ : state) {
        state.PauseTiming();
        bar.FindEdit->clear();
        bar.SearchNow();
        state.ResumeTiming();
        bar.FindEdit->setText(text);
        bar.SearchNow();
    }
    state.SetLabel(text.toStdString());
    state.counters["found"] = bar.FindModel->rowCount();
}

void BM_FindInNames(benchmark::State& state)
{
    FindText(state, false);
}
BENCHMARK(BM_FindInNames)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_FindInNamesAndDescriptions(benchmark::State& state)
{
    FindText(state, true);
}
BENCHMARK(BM_FindInNamesAndDescriptions)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(10)
    ->Repetitions(5)->ReportAggregatesOnly(true);

// The heap a finished search and its list hold, for a text found more often than
// the list keeps.
void PrintMemoryAdded()
{
    TFindBar& bar = *Window().Window.FindBar;
    bar.FindDescr->setChecked(true);
    bar.FindEdit->clear();
    bar.SearchNow();
    const auto before = mallinfo2().uordblks;
    bar.FindEdit->setText("5");
    bar.SearchNow();
    const auto after = mallinfo2().uordblks;
    std::printf("Heap held by a search of \"5\" and its list (%d of many marks kept): %.1f KB\n",
                bar.FindModel->rowCount(), (double(after) - double(before)) / 1024);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    PrintMemoryAdded();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    GWindow.reset();
    return 0;
}
