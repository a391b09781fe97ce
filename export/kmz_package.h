#pragma once

#include <filesystem>
#include <string_view>

#include "export_driver.h"
#include "zip_archive.h"

// The KMZ package: the icons named in the list (those present in the icon folder,
// found without regard to letter case; a name that is not a plain file name adds
// nothing), in the list's order, then the KML document under the target's file
// name with ".kml". Entry names are UTF-8, as the KML's references are. The archive
// is built as a file of its own beside the target, the KML deflated into it as it
// is written, and replaces the target only when complete and flushed to disk, by
// the rules every export follows (a link is written through, the target's
// permissions are kept), so a failure leaves the old target and no temporary file.
void WriteKmzPackage(ZipArchive& zip, const std::filesystem::path& target, std::string_view kmlDocument,
                     const TIconNameList& icons, const std::filesystem::path& iconFolder);
// The same with the document given as a template and the body for its "%s", which
// are never joined into one text.
void WriteKmzPackage(ZipArchive& zip, const std::filesystem::path& target, std::string_view documentTemplate,
                     std::string_view body, const TIconNameList& icons, const std::filesystem::path& iconFolder);

// The target's file name with its extension replaced by ".kml" (or ".kml" added).
std::string KmlEntryName(const std::filesystem::path& target);
