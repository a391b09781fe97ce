#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "client_dataset.h"
#include "file_io.h"

// What the export formats share: the scopes, the per-window export state,
// the walk over the marks of a scope, the save prompt values and the file writer.

enum TExportScope { esVisible, esCategory, esSelected };

// Icon file names in the alphabetical order of the user's locale, letter case
// ignored; a name that differs from a present one in letter case alone is not
// added again.
struct TCaseBlindLess {
    bool operator()(const std::string& a, const std::string& b) const;
};
using TIconNameList = std::set<std::string, TCaseBlindLess>;

struct TExportState {
    std::string FExportText;
    std::int32_t FExportCount = 0;
    TIconNameList FExportIcons;
    bool FExportFileChosen = false;
    bool FKmzMode = false;
    // While an export writes its file as the walk goes: takes the text added so
    // far whenever it has grown large, after which it is cleared.
    std::function<void(std::string_view)> FExportSink;
};

// The save prompt of one format.
struct TExportFormat {
    std::string DefaultExt;
    std::string FileName;
    std::string Filter; // pairs of display text and pattern separated by "|"
};

extern const TExportFormat kKmlFormat;
extern const TExportFormat kKmzFormat;
extern const TExportFormat kWptFormat;
extern const TExportFormat kMpFormat;
extern const TExportFormat kGpxFormat;
extern const TExportFormat kGeoJsonFormat;

// Resets the state's text, count and icons, then calls writer once per mark of the
// scope with the marks table on that mark. The marks table's views are suspended
// for the walk and resumed on every path.
void WalkMarks(TClientDataSet& cats, TClientDataSet& marks, TExportState& state, TExportScope scope,
               const std::function<void()>& writer, const std::vector<TRowRef>& selectedRows);

// The template with its one "%s" replaced by the body.
std::string FillTemplate(std::string_view documentTemplate, std::string_view body);

// Writes the text cut at its first NUL, every line ended by CR LF (a CR LF, a lone
// CR or a lone LF each end a line), no byte-order mark; written whole to a
// temporary file and renamed over the target.
void SaveExportText(std::string_view text, const std::filesystem::path& path);

// Saves the template with its "%s" replaced by the body, as SaveExportText saves
// FillTemplate's result, without making either text.
void SaveExportDocument(std::string_view documentTemplate, std::string_view body, const std::filesystem::path& path);
// Saves the template with its "%s" replaced by the text that walk (a WalkMarks
// call) adds to the state, as SaveExportDocument saves it, handing the text on to
// the file while the walk makes it rather than gathering all of it first.
void SaveWalkedDocument(std::string_view documentTemplate, const std::filesystem::path& path, TExportState& state,
                        const std::function<void()>& walk);
// The bytes SaveExportText, SaveExportDocument and SaveWalkedDocument save, handed
// to a writer in pieces.
void WriteExportText(std::string_view text, const TByteWriter& write);
void WriteExportDocument(std::string_view documentTemplate, std::string_view body, const TByteWriter& write);
void WriteWalkedDocument(std::string_view documentTemplate, const TByteWriter& write, TExportState& state,
                         const std::function<void()>& walk);
