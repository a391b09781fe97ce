#pragma once

#include <filesystem>
#include <string_view>

#include "export_driver.h"
#include "zip_archive.h"

// The KMZ package: the icons named in the list (those present in the icon folder,
// found without regard to letter case; a name that is not a plain file name adds
// nothing), in the list's order, then the KML document under the target's file
// name with ".kml". Entry names are UTF-8, as the KML's references are. The KML and the archive are built under
// temporary names beside the target, and the archive replaces the target only when
// complete, so a failure leaves the old target and no temporary file.
void WriteKmzPackage(ZipArchive& zip, const std::filesystem::path& target, std::string_view kmlDocument,
                     const TIconNameList& icons, const std::filesystem::path& iconFolder);

// The target's file name with its extension replaced by ".kml" (or ".kml" added).
std::string KmlEntryName(const std::filesystem::path& target);
