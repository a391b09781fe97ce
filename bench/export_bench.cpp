// Exporting every mark of a generated database of 100,000 marks (20 points a mark on
// average) to KML, WPT, MP, GPX and GeoJSON: the walk, the record writers and the file.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "client_dataset.h"
#include "geojson_writer.h"
#include "gpx_writer.h"
#include "kml_writer.h"
#include "marks_generator.h"
#include "marks_schema.h"
#include "mp_writer.h"
#include "wpt_writer.h"

namespace {

struct TTables {
    TClientDataSet Cats{CatsSchema()};
    TClientDataSet Marks{MarksSchema()};
    TTables()
    {
        Marks.SetMasterSource(&Cats, "id");
        TPacketContent cats = GenerateVisibleCategories({}); // all 100,000 marks
        Cats.SetPacketText(WriteXmlPacket(cats));
        TPacketContent marks = GenerateMarks({});
        for (TStoredRow& row : marks.Rows)
            row.Values[12] = true;
        Marks.SetPacketText(WriteXmlPacket(marks));
    }
};

TTables& Tables()
{
    static TTables tables;
    return tables;
}

const std::filesystem::path kOut = std::filesystem::temp_directory_path() / "marks-bench-export";

// As the window exports: the text goes to the file while the walk makes it.
template <typename Walk>
void ExportWalked(benchmark::State& state, const char* documentTemplate, Walk walk)
{
    TTables& t = Tables();
    TExportState export_;
    for (auto _ : state)
        SaveWalkedDocument(documentTemplate, kOut, export_, [&] { walk(t, export_); });
    state.counters["marks"] = export_.FExportCount;
    state.counters["MB"] = double(std::filesystem::file_size(kOut)) / 1e6;
    std::filesystem::remove(kOut);
}

template <typename Writer>
void Export(benchmark::State& state, const char* documentTemplate, Writer writer)
{
    ExportWalked(state, documentTemplate, [&](TTables& t, TExportState& export_) {
        const TMarkReader mark(t.Marks);
        WalkMarks(t.Cats, t.Marks, export_, esVisible, [&] { writer(export_, mark.Read()); }, {});
    });
}

void BM_ExportKml(benchmark::State& state)
{
    Export(state, kKmlDocument, [](TExportState& s, const TMarkView& m) { AddKmlPlacemark(s, m, "/opt/marks/MarksIcons/"); });
}
BENCHMARK(BM_ExportKml)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_ExportWpt(benchmark::State& state)
{
    Export(state, kWptHeader, [](TExportState& s, const TMarkView& m) { AddWptWaypoint(s, m); });
}
BENCHMARK(BM_ExportWpt)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_ExportMp(benchmark::State& state)
{
    TIconTypes types;
    Export(state, kMpHeader, [&](TExportState& s, const TMarkView& m) { AddMpObject(s, m, types); });
}
BENCHMARK(BM_ExportMp)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_ExportGpx(benchmark::State& state)
{
    ExportWalked(state, kGpxDocument,
                 [](TTables& t, TExportState& s) { WalkGpx(t.Cats, t.Marks, s, esVisible, {}); });
}
BENCHMARK(BM_ExportGpx)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_ExportGeoJson(benchmark::State& state)
{
    ExportWalked(state, kGeoJsonDocument,
                 [](TTables& t, TExportState& s) { WalkGeoJson(t.Cats, t.Marks, s, esVisible, {}); });
}
BENCHMARK(BM_ExportGeoJson)->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace

BENCHMARK_MAIN();
