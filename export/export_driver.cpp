#include "export_driver.h"

#include "collation.h"
#include "file_io.h"

const TExportFormat kKmlFormat{".kml", "Vexamarks.kml", "Track Files ( *.kml)|*.kml|All Files (*.* )|*.*"};
const TExportFormat kKmzFormat{".kmz", "Vexamarks.kmz", "Track Files ( *.kmz)|*.kmz|All Files (*.* )|*.*"};
const TExportFormat kWptFormat{".wpt", "Roverivoz.eza", "Track Files ( *.wpt)|*.wpt|All Files (*.* )|*.*"};
const TExportFormat kMpFormat{".mp", "Vexamarks.mp", "Map Files ( *.mp)|*.mp|All Files (*.* )|*.*"};

bool TCaseBlindLess::operator()(const std::string& a, const std::string& b) const
{
    // The user's locale does not change while the program runs: one collator serves
    // every list.
    static const TCollator collator(0, true);
    return collator.Compare(a, b) < 0;
}

namespace {

void WalkCategory(TClientDataSet& marks, const std::function<void()>& writer)
{
    for (marks.GoFirst(); !marks.AtEnd(); marks.GoNext())
        writer();
}

} // namespace

void WalkMarks(TClientDataSet& cats, TClientDataSet& marks, TExportState& state, TExportScope scope,
               const std::function<void()>& writer, const std::vector<TRowRef>& selectedRows)
{
    state.FExportText.clear();
    state.FExportCount = 0;
    state.FExportIcons.clear();
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

void SaveExportText(std::string_view text, const std::filesystem::path& path)
{
    text = text.substr(0, text.find('\0'));
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 2);
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        const char* lineEnd = p;
        while (lineEnd < end && *lineEnd != '\r' && *lineEnd != '\n')
            ++lineEnd;
        out.append(p, lineEnd);
        out.append("\r\n");
        if (lineEnd + 1 < end && lineEnd[0] == '\r' && lineEnd[1] == '\n')
            ++lineEnd;
        p = lineEnd + 1;
    }
    WriteFileAtomically(path, out);
}

std::string ExportCountText(std::int32_t count)
{
    return "Exported " + std::to_string(count) + " objects";
}
