// A KMZ export of 100,000 marks (20 points a mark on average) with 50 icons,
// against what zlib alone needs to deflate the same KML at level 9 in one pass,
// both measured in this run. Prints the best of five of each and their ratio.
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "client_dataset.h"
#include "file_io.h"
#include "kml_writer.h"
#include "kmz_package.h"
#include "marks_generator.h"
#include "marks_schema.h"

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

namespace {

double Seconds(TClock::time_point from)
{
    return std::chrono::duration<double>(TClock::now() - from).count();
}

// Fifty small icons with some texture, as pictures of that size are.
void WriteIcons(const fs::path& folder)
{
    fs::create_directories(folder);
    for (int i = 0; i < 50; ++i) {
        std::string bytes = "\x89PNG\r\n\x1a\n";
        for (int k = 0; k < 600; ++k)
            bytes.push_back(static_cast<char>((k * 7 + i * 13) ^ (k >> 3)));
        WriteFileAtomically(folder / ("icon" + std::to_string(i) + ".png"), bytes);
    }
}

} // namespace

int main()
{
    const fs::path dir = fs::temp_directory_path() / "marks-kmz-bench";
    fs::remove_all(dir);
    WriteIcons(dir / "MarksIcons");

    TClientDataSet cats(CatsSchema());
    TClientDataSet marks(MarksSchema());
    marks.SetMasterSource(&cats, "id");
    cats.SetPacketText(WriteXmlPacket(GenerateVisibleCategories({})));
    TPacketContent m = GenerateMarks({});
    for (size_t i = 0; i < m.Rows.size(); ++i)
        m.Rows[i].Values[13] = "icon" + std::to_string(i % 50) + ".png";
    marks.SetPacketText(WriteXmlPacket(m));

    double best = 1e9, bestZlib = 1e9;
    size_t kmlSize = 0, kmzSize = 0;
    for (int round = 0; round < 5; ++round) {
        ZipArchive zip;
        TExportState state;
        auto start = TClock::now();
        ExportKmzPackage(zip, dir / "out.kmz", cats, marks, state, esVisible, {}, dir / "MarksIcons");
        best = std::min(best, Seconds(start));
        kmzSize = fs::file_size(dir / "out.kmz");

        // zlib alone on the KML as the file holds it (CR LF line ends).
        const TMarkReader mark(marks);
        SaveWalkedDocument(kKmlDocument, dir / "plain.kml", state, [&] {
            WalkMarks(cats, marks, state, esVisible, [&] { AddKmlPlacemark(state, mark.Read(), {}); }, {});
        });
        const std::string kml = ReadWholeFile(dir / "plain.kml");
        kmlSize = kml.size();
        std::string out(compressBound(static_cast<uLong>(kml.size())), '\0');
        start = TClock::now();
        z_stream z{};
        deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(kml.data()));
        z.avail_in = static_cast<uInt>(kml.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        deflate(&z, Z_FINISH);
        deflateEnd(&z);
        bestZlib = std::min(bestZlib, Seconds(start));
    }
    std::printf("KMZ export of 100000 marks, 50 icons: %.0f ms (KML %.1f MB, KMZ %.1f MB)\n", best * 1e3,
                kmlSize / 1e6, kmzSize / 1e6);
    std::printf("zlib level 9 on the same KML alone: %.0f ms\n", bestZlib * 1e3);
    std::printf("ratio: %.2f (target at most 1.30)\n", best / bestZlib);
    fs::remove_all(dir);
    return 0;
}
