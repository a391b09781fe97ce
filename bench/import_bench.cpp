// Imports of 100,000 GPX waypoints and of the KML export of the 100,000-mark
// benchmark database (20 points a mark on average), each read whole and inserted
// into an empty category, against GPSBabel reading the same file in the same run.
// Prints the best of five imports (wall and processor time) and of three GPSBabel
// runs, and the ratio. First, before anything else has grown the process: a 1 MB
// KMZ whose KML would inflate to 1 GB, refused, with the time and memory it took.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "client_dataset.h"
#include "code_page.h"
#include "export_driver.h"
#include "import_file.h"
#include "kml_writer.h"
#include "mark_rows.h"
#include "marks_generator.h"
#include "marks_error.h"
#include "marks_schema.h"
#include "number_format.h"
#include "zip_archive.h"

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

namespace {

double Seconds(TClock::time_point from)
{
    return std::chrono::duration<double>(TClock::now() - from).count();
}

double ProcessorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A KML of one placemark whose description is 1 GB of one letter, deflated into a
// KMZ of about 1 MB.
void WriteKmzBomb(const fs::path& path)
{
    ZipArchive::CreateEmptyArchive(path);
    ZipArchive zip;
    zip.OpenArchive(path);
    zip.AddStream("doc.kml", 0, 0x20, [](const TByteWriter& write) {
        write("<kml><Document><Placemark><name>bomb</name><description>");
        const std::string block(1 << 20, 'a');
        for (int i = 0; i < 1024; ++i)
            write(block);
        write("</description><Point><coordinates>1,2</coordinates></Point></Placemark></Document></kml>");
    });
    zip.CloseArchive();
}

// Sets the inflated size the directory gives for the archive's one entry to 100
// times its compressed size, the most the import accepts.
void UnderstateInflatedSize(const fs::path& path)
{
    std::string bytes = ReadWholeFile(path);
    const size_t central = bytes.rfind("PK\x01\x02");
    std::uint32_t compressed = 0;
    std::memcpy(&compressed, bytes.data() + central + 20, 4);
    const std::uint32_t inflated = compressed * 100;
    std::memcpy(bytes.data() + central + 24, &inflated, 4);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void AppendEscaped(std::string& out, std::string_view utf8)
{
    for (char c : utf8) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\n' || c == '\t')
                out.push_back(c);
        }
    }
}

// The generated marks' first points as GPX waypoints, with names and descriptions.
void WriteGpx(TClientDataSet& marks, const fs::path& path)
{
    std::string gpx = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<gpx version=\"1.1\" creator=\"bench\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
    size_t rows = 0;
    for (marks.GoFirst(); rows < marks.RecordCount(); marks.GoNext(), ++rows) {
        TMarkData mark = ReadCurrentMark(marks);
        if (mark.points.empty())
            continue;
        gpx += "  <wpt lat=\"";
        AppendFixed6(gpx, mark.points[0].Lat);
        gpx += "\" lon=\"";
        AppendFixed6(gpx, mark.points[0].Lon);
        gpx += "\">\n    <name>";
        AppendEscaped(gpx, Cp1251ToUtf8(mark.name));
        gpx += "</name>\n    <desc>";
        AppendEscaped(gpx, Cp1251ToUtf8(mark.descr));
        gpx += "</desc>\n  </wpt>\n";
    }
    gpx += "</gpx>\n";
    SaveExportText(gpx, path);
}

struct TRun {
    double Best = 1e9;
    double BestRead = 1e9; // of that, reading the file
    double BestProcessor = 1e9;
    int Marks = 0;
};

// Reads the file and inserts its marks into a fresh empty category.
TRun Import(const fs::path& path)
{
    TRun run;
    for (int round = 0; round < 5; ++round) {
        TClientDataSet cats(CatsSchema());
        TClientDataSet marks(MarksSchema());
        marks.SetMasterSource(&cats, "id");
        cats.SetPacketText(WriteXmlPacket(EmptyCatsPacket()));
        marks.SetPacketText(WriteXmlPacket(EmptyMarksPacket()));
        cats.BeginInsert();
        cats.FieldNamed("name").SetAsText("Imported");
        cats.PostRow();
        auto start = TClock::now();
        const double processor = ProcessorSeconds();
        TImportResult result = ReadImportFile(path);
        const double read = Seconds(start);
        run.Marks = InsertImportedMarks(marks, result, {});
        run.Best = std::min(run.Best, Seconds(start));
        run.BestRead = std::min(run.BestRead, read);
        run.BestProcessor = std::min(run.BestProcessor, ProcessorSeconds() - processor);
    }
    return run;
}

// GPSBabel reading the file, as a whole process (it has no output format here).
double GpsBabel(const std::string& format, const fs::path& path)
{
    double best = 1e9;
    const std::string command = "gpsbabel -i " + format + " -f '" + path.string() + "' >/dev/null 2>&1";
    for (int round = 0; round < 3; ++round) {
        auto start = TClock::now();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "gpsbabel failed: %s\n", command.c_str());
            return 0;
        }
        best = std::min(best, Seconds(start));
    }
    return best;
}

void Report(const char* what, const fs::path& path, const TRun& ours, double babel, double target)
{
    std::printf("%s: %.1f MB, %d marks: import %.3f s, processor %.3f s (reading %.3f s; target %.1f s), "
                "gpsbabel %.3f s, ratio %.2f\n",
                what, static_cast<double>(fs::file_size(path)) / 1e6, ours.Marks, ours.Best, ours.BestProcessor,
                ours.BestRead, target, babel, babel > 0 ? ours.Best / babel : 0.0);
}

} // namespace

int main()
{
    const fs::path dir = fs::temp_directory_path() / "marks-import-bench";
    fs::remove_all(dir);
    fs::create_directories(dir);

    // The bomb as it is, and with a directory that understates its inflated size,
    // so that only the inflating itself can tell.
    const fs::path bomb = dir / "bomb.kmz";
    WriteKmzBomb(bomb);
    for (const char* which : {"KMZ bomb", "KMZ bomb, size understated"}) {
        const auto start = TClock::now();
        std::string refused = "NOT REFUSED";
        try {
            ReadImportFile(bomb);
        } catch (const EMarksError& e) {
            refused = e.what();
        }
        std::printf("%s: %.2f MB, refused in %.4f s (target 1 s), peak memory of the process so far %.1f MB "
                    "(target 100 MB): %s\n",
                    which, static_cast<double>(fs::file_size(bomb)) / 1e6, Seconds(start),
                    static_cast<double>(PeakKilobytes()) / 1024, refused.c_str());
        UnderstateInflatedSize(bomb);
    }

    TClientDataSet cats(CatsSchema());
    TClientDataSet marks(MarksSchema());
    marks.SetMasterSource(&cats, "id");
    cats.SetPacketText(WriteXmlPacket(GenerateVisibleCategories({})));
    marks.SetPacketText(WriteXmlPacket(GenerateMarks({})));

    TExportState state;
    WalkMarks(cats, marks, state, esVisible, [&] { AddKmlPlacemark(state, ReadCurrentMark(marks), {}); }, {});
    const fs::path kml = dir / "marks.kml";
    SaveExportText(FillTemplate(kKmlDocument, state.FExportText), kml);

    TClientDataSet all(MarksSchema());
    all.SetPacketText(WriteXmlPacket(GenerateMarks({})));
    const fs::path gpx = dir / "waypoints.gpx";
    WriteGpx(all, gpx);

    Report("GPX waypoints", gpx, Import(gpx), GpsBabel("gpx", gpx), 1.0);
    Report("KML of the database", kml, Import(kml), GpsBabel("kml", kml), 2.0);
    fs::remove_all(dir);
    return 0;
}
