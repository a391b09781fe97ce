// The marks grid on one category of 100,000 marks, offscreen in-process: switching
// to the category and painting its first page, scrolling a page, and moving the
// current row by one.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <QTest>

#include <memory>

#include "data_packet.h"
#include "db_grid.h"
#include "marks_generator.h"
#include "tfrm_main.h"

namespace {

// A window whose categories are a big one (id 1, all marks) and an empty one (id 2).
struct TBigWindow {
    TfrmMain Window;
    TBigWindow()
    {
        TGeneratorOptions options;
        options.Categories = 1;
        const std::string marks = WriteXmlPacket(GenerateMarks(options));
        options.Categories = 2;
        Window.CDCats.SetPacketText(WriteXmlPacket(GenerateCategories(options)));
        Window.CDMarks.SetPacketText(marks);
        Window.show();
        QApplication::processEvents();
    }
    void GoToCategory(std::int64_t id)
    {
        for (Window.CDCats.GoFirst(); Window.CDCats.FieldNamed("id").AsInt() != id; Window.CDCats.GoNext()) {
        }
    }
};

// Made on first use, gone before the application object.
std::unique_ptr<TBigWindow> GBig;

TBigWindow& Big()
{
    if (!GBig)
        GBig = std::make_unique<TBigWindow>();
    return *GBig;
}

void BM_SwitchToBigCategoryAndPaint(benchmark::State& state)
{
    TBigWindow& big = Big();
    TDBGrid* grid = big.Window.GRMarks;
    for (auto _ : state) {
        state.PauseTiming();
        big.GoToCategory(2);
        grid->viewport()->repaint();
        state.ResumeTiming();
        big.GoToCategory(1);
        grid->viewport()->repaint();
    }
    state.counters["rows"] = grid->model()->rowCount();
}
BENCHMARK(BM_SwitchToBigCategoryAndPaint)->Unit(benchmark::kMillisecond);

void BM_ScrollOnePage(benchmark::State& state)
{
    TBigWindow& big = Big();
    big.GoToCategory(1);
    TDBGrid* grid = big.Window.GRMarks;
    QScrollBar* bar = grid->verticalScrollBar();
    bar->setValue(0);
    for (auto _ : state) {
        if (bar->value() + bar->pageStep() > bar->maximum())
            bar->setValue(0);
        bar->setValue(bar->value() + bar->pageStep());
        grid->viewport()->repaint();
    }
    state.counters["page"] = bar->pageStep();
}
BENCHMARK(BM_ScrollOnePage)->Unit(benchmark::kMillisecond);

void BM_MoveCurrentRowByOne(benchmark::State& state)
{
    TBigWindow& big = Big();
    big.GoToCategory(1);
    TDBGrid* grid = big.Window.GRMarks;
    grid->setFocus();
    int step = 0;
    for (auto _ : state) {
        // Down and Up in turn, each with the repaint of the rows it changed.
        QTest::keyClick(grid, ++step % 2 ? Qt::Key_Down : Qt::Key_Up);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_MoveCurrentRowByOne)->Unit(benchmark::kMicrosecond);


} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    GBig.reset();
    return 0;
}
