#include "kmz_package.h"

#include <ctime>
#include <functional>

#include "code_page.h"
#include "file_io.h"
#include "kml_writer.h"
#include "marks_error.h"

namespace {

// An icon name from a table is a plain file name inside the icon folder. Anything
// that could name another file (an absolute path, a folder part in either
// separator, "." or "..") or that no file name holds (a control character) is not
// looked up, so a table received from someone else cannot pack local files.
bool IsPlainFileName(std::string_view name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    for (char c : name)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20)
            return false;
    return true;
}

// The icon file of a name in the tables' code page: named in UTF-8 as the file
// system names files, or else under the table's own bytes.
std::filesystem::path FindIconFile(const std::filesystem::path& iconFolder, const std::string& name)
{
    if (!IsPlainFileName(name))
        return {};
    const std::string utf8 = Cp1251ToUtf8(name);
    std::filesystem::path file = FindFileNoCase(iconFolder, utf8);
    if (file.empty() && utf8 != name)
        file = FindFileNoCase(iconFolder, name);
    return file;
}

} // namespace

std::string KmlEntryName(const std::filesystem::path& target)
{
    std::string name = target.filename().string();
    size_t dot = name.rfind('.');
    return (dot == std::string::npos ? name : name.substr(0, dot)) + ".kml";
}

void WriteKmzPackage(ZipArchive& zip, const std::filesystem::path& target, const TIconNameList& icons,
                     const std::filesystem::path& iconFolder, const std::function<void(const TByteWriter&)>& writeKml)
{
    // Messages name the target as a full path, as the archive's own do.
    BuildFileAtomically(std::filesystem::absolute(target).lexically_normal(), [&](const std::filesystem::path& archive) {
        ZipArchive::CreateEmptyArchive(archive);
        zip.OpenArchive(archive);
        // The KML refers to its icons by their UTF-8 names, so the entries carry the
        // same names, flagged as UTF-8.
        zip.Utf8Names = true;
        try {
            for (const std::string& name : icons)
                if (std::filesystem::path icon = FindIconFile(iconFolder, name); !icon.empty())
                    zip.AddFileAs(icon, Cp1251ToUtf8(name));
            // The document carries the time and attributes of a file written now.
            zip.AddStream(KmlEntryName(target), DosDateTime(std::time(nullptr)), 0x20, writeKml);
        } catch (...) {
            try {
                zip.CloseArchive();
            } catch (const EMarksError&) {
            }
            throw;
        }
        zip.CloseArchive();
    });
}

void WriteKmzPackage(ZipArchive& zip, const std::filesystem::path& target, std::string_view kmlDocument,
                     const TIconNameList& icons, const std::filesystem::path& iconFolder)
{
    WriteKmzPackage(zip, target, icons, iconFolder, [&](const TByteWriter& write) { WriteExportText(kmlDocument, write); });
}

void ExportKmzPackage(ZipArchive& zip, const std::filesystem::path& target, TClientDataSet& cats, TClientDataSet& marks,
                      TExportState& state, TExportScope scope, const std::vector<TRowRef>& selectedRows,
                      const std::filesystem::path& iconFolder)
{
    // A write-protected target is refused before any work, like every other export.
    CheckNotWriteProtected(std::filesystem::absolute(target).lexically_normal());
    state.FKmzMode = true;
    const TMarkReader mark(marks);
    TKmlIconGatherer icons;
    WalkMarks(cats, marks, state, scope, [&] { icons.Add(mark.Read()); }, selectedRows);
    WriteKmzPackage(zip, target, icons.Names(), iconFolder, [&](const TByteWriter& write) {
        WriteWalkedDocument(kKmlDocument, write, state, [&] {
            WalkMarks(cats, marks, state, scope, [&] { AddKmlPlacemark(state, mark.Read(), {}); }, selectedRows);
        });
    });
}
