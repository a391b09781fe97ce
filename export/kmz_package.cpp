#include "kmz_package.h"

#include <cerrno>
#include <cstdio>
#include <functional>
#include <vector>

#include "file_io.h"
#include "marks_error.h"

namespace {

struct TTemporaryFiles {
    std::vector<std::filesystem::path> Paths;
    ~TTemporaryFiles()
    {
        std::error_code ignored;
        for (const auto& p : Paths)
            std::filesystem::remove(p, ignored);
    }
};

} // namespace

std::string KmlEntryName(const std::filesystem::path& target)
{
    std::string name = target.filename().string();
    size_t dot = name.rfind('.');
    return (dot == std::string::npos ? name : name.substr(0, dot)) + ".kml";
}

namespace {

void WritePackage(ZipArchive& zip, const std::filesystem::path& target,
                  const std::function<void(const std::filesystem::path& kml)>& saveKml, const TIconNameList& icons,
                  const std::filesystem::path& iconFolder)
{
    // A write-protected target is refused before any work, like every other export.
    CheckNotWriteProtected(std::filesystem::absolute(target).lexically_normal());
    TTemporaryFiles temporary;
    const std::string entryName = KmlEntryName(target);
    const std::filesystem::path kml = UniqueTempPath(target.parent_path() / entryName);
    temporary.Paths.push_back(kml);
    saveKml(kml);

    const std::filesystem::path archive = UniqueTempPath(target);
    temporary.Paths.push_back(archive);
    ZipArchive::CreateEmptyArchive(archive);
    zip.OpenArchive(archive);
    try {
        for (const std::string& name : icons)
            if (std::filesystem::path icon = FindFileNoCase(iconFolder, name); !icon.empty())
                zip.AddFileAs(icon, name);
        zip.AddFileAs(kml, entryName);
    } catch (...) {
        zip.CloseArchive();
        throw;
    }
    zip.CloseArchive();
    if (std::rename(archive.c_str(), target.c_str()) != 0)
        throw EMarksError("Cannot create file \"" + target.string() + "\". " + SystemErrorText(errno));
}

} // namespace

void WriteKmzPackage(ZipArchive& zip, const std::filesystem::path& target, std::string_view kmlDocument,
                     const TIconNameList& icons, const std::filesystem::path& iconFolder)
{
    WritePackage(zip, target, [&](const std::filesystem::path& kml) { SaveExportText(kmlDocument, kml); }, icons,
                 iconFolder);
}

void WriteKmzPackage(ZipArchive& zip, const std::filesystem::path& target, std::string_view documentTemplate,
                     std::string_view body, const TIconNameList& icons, const std::filesystem::path& iconFolder)
{
    WritePackage(zip, target,
                 [&](const std::filesystem::path& kml) { SaveExportDocument(documentTemplate, body, kml); }, icons,
                 iconFolder);
}
