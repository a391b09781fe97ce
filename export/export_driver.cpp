#include "export_driver.h"

#include "collation.h"
#include "file_io.h"

const TExportFormat kKmlFormat{".kml", "Vexamarks.kml", "Track Files ( *.kml)|*.kml|All Files (*.* )|*.*"};
const TExportFormat kKmzFormat{".kmz", "Vexamarks.kmz", "Track Files ( *.kmz)|*.kmz|All Files (*.* )|*.*"};
const TExportFormat kWptFormat{".wpt", "Roverivoz.eza", "Track Files ( *.wpt)|*.wpt|All Files (*.* )|*.*"};
const TExportFormat kMpFormat{".mp", "Vexamarks.mp", "Map Files ( *.mp)|*.mp|All Files (*.* )|*.*"};
const TExportFormat kGpxFormat{".gpx", "Vexamarks.gpx", "GPX Files ( *.gpx)|*.gpx|All Files (*.* )|*.*"};
const TExportFormat kGeoJsonFormat{".geojson", "Vexamarks.geojson",
                                   "GeoJSON Files ( *.geojson)|*.geojson|All Files (*.* )|*.*"};

bool TCaseBlindLess::operator()(const std::string& a, const std::string& b) const
{
    // The user's locale does not change while the program runs: one collator serves
    // every list.
    static const TCollator collator(0, true);
    return collator.Compare(a, b) < 0;
}

namespace {

// How much text a walk gathers before handing it to the state's sink.
constexpr size_t kExportPiece = 1 << 20;

void WalkCategory(TClientDataSet& marks, const std::function<void()>& writer)
{
    for (marks.GoFirst(); !marks.AtEnd(); marks.GoNext())
        writer();
}

} // namespace

void WalkMarks(TClientDataSet& cats, TClientDataSet& marks, TExportState& state, TExportScope scope,
               const std::function<void()>& markWriter, const std::vector<TRowRef>& selectedRows)
{
    state.FExportText.clear();
    state.FExportCount = 0;
    state.FExportIcons.clear();
    const std::function<void()> writer = [&] {
        markWriter();
        if (state.FExportSink && state.FExportText.size() >= kExportPiece) {
            state.FExportSink(state.FExportText);
            state.FExportText.clear();
        }
    };
    TSuspendedViews suspended(marks);
    switch (scope) {
    case esVisible:
        // The marks table follows the categories through the master link even
        // while its own views are suspended.
        for (cats.GoFirst(); !cats.AtEnd(); cats.GoNext()) {
            marks.GoFirst();
            if (cats.FieldNamed("visible").AsFlag())
                WalkCategory(marks, writer);
        }
        break;
    case esCategory:
        WalkCategory(marks, writer);
        break;
    case esSelected:
        // A reference whose row is gone is skipped rather than writing another mark.
        for (const TRowRef& row : selectedRows)
            if (marks.GoToRow(row))
                writer();
        break;
    }
}

std::string FillTemplate(std::string_view documentTemplate, std::string_view body)
{
    size_t at = documentTemplate.find("%s");
    std::string out;
    out.reserve(documentTemplate.size() + body.size());
    out.append(documentTemplate.substr(0, at));
    out.append(body);
    out.append(documentTemplate.substr(at + 2));
    return out;
}

namespace {

// Passes text on with every line ended by CR LF (a CR LF, a lone CR or a lone LF
// each end a line; a last line without an end gets one), up to the first NUL,
// through a buffer, so that a large export is never copied whole.
class TLineEndWriter {
public:
    explicit TLineEndWriter(const TByteWriter& write) : FWrite(write) { FBuffer.reserve(kBufferSize); }

    void Put(std::string_view text)
    {
        if (FEnded)
            return;
        if (size_t nul = text.find('\0'); nul != std::string_view::npos) {
            text = text.substr(0, nul);
            FEnded = true;
        }
        const char* p = text.data();
        const char* end = p + text.size();
        while (p < end) {
            const char* q = p;
            while (q < end && *q != '\r' && *q != '\n')
                ++q;
            if (q > p) {
                Emit(std::string_view(p, static_cast<size_t>(q - p)));
                FAfterCr = false;
                FLineOpen = true;
            }
            if (q == end)
                break;
            if (*q == '\n' && FAfterCr) {
                FAfterCr = false; // the LF of a CR LF already written
            } else {
                Emit("\r\n");
                FAfterCr = *q == '\r';
                FLineOpen = false;
            }
            p = q + 1;
        }
    }

    void Finish()
    {
        if (FLineOpen)
            Emit("\r\n");
        FWrite(FBuffer);
        FBuffer.clear();
    }

private:
    static constexpr size_t kBufferSize = 1 << 20;
    const TByteWriter& FWrite;
    std::string FBuffer;
    bool FEnded = false;
    bool FAfterCr = false;
    bool FLineOpen = false;

    void Emit(std::string_view bytes)
    {
        if (FBuffer.size() + bytes.size() > kBufferSize) {
            FWrite(FBuffer);
            FBuffer.clear();
        }
        if (bytes.size() > kBufferSize)
            FWrite(bytes);
        else
            FBuffer.append(bytes);
    }
};

} // namespace

void WriteExportText(std::string_view text, const TByteWriter& write)
{
    TLineEndWriter out(write);
    out.Put(text);
    out.Finish();
}

void SaveExportText(std::string_view text, const std::filesystem::path& path)
{
    WriteFileAtomically(path, [&](const TByteWriter& write) { WriteExportText(text, write); });
}

void WriteExportDocument(std::string_view documentTemplate, std::string_view body, const TByteWriter& write)
{
    const size_t at = documentTemplate.find("%s");
    TLineEndWriter out(write);
    out.Put(documentTemplate.substr(0, at));
    out.Put(body);
    out.Put(documentTemplate.substr(at + 2));
    out.Finish();
}

void SaveExportDocument(std::string_view documentTemplate, std::string_view body, const std::filesystem::path& path)
{
    WriteFileAtomically(path, [&](const TByteWriter& write) { WriteExportDocument(documentTemplate, body, write); });
}

void WriteWalkedDocument(std::string_view documentTemplate, const TByteWriter& write, TExportState& state,
                         const std::function<void()>& walk)
{
    const size_t at = documentTemplate.find("%s");
    TLineEndWriter out(write);
    out.Put(documentTemplate.substr(0, at));
    struct TSinkSet {
        TExportState& State;
        ~TSinkSet() { State.FExportSink = nullptr; }
    } sinkSet{state};
    state.FExportSink = [&](std::string_view text) { out.Put(text); };
    walk();
    out.Put(state.FExportText);
    out.Put(documentTemplate.substr(at + 2));
    out.Finish();
}

void SaveWalkedDocument(std::string_view documentTemplate, const std::filesystem::path& path, TExportState& state,
                        const std::function<void()>& walk)
{
    WriteFileAtomically(path, [&](const TByteWriter& write) { WriteWalkedDocument(documentTemplate, write, state, walk); });
}
