#pragma once

#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

#include "client_dataset.h"
#include "export_driver.h"
#include "zip_archive.h"

// The KMZ package: the icons named in the list (those present in the icon folder,
// found without regard to letter case; a name that is not a plain file name adds
// nothing), in the list's order, then the KML document under the target's file
// name with ".kml". Entry names are UTF-8, as the KML's references are. The archive
// is built as a file of its own beside the target and replaces it only when
// complete and flushed to disk, by the rules every export follows (a link is
// written through, the target's permissions are kept), so a failure leaves the
// old target and no temporary file.
void WriteKmzPackage(ZipArchive& zip, const std::filesystem::path& target, std::string_view kmlDocument,
                     const TIconNameList& icons, const std::filesystem::path& iconFolder);
// The same with the document made by writeKml, deflated into the archive as it is
// written, never held or stored whole.
void WriteKmzPackage(ZipArchive& zip, const std::filesystem::path& target, const TIconNameList& icons,
                     const std::filesystem::path& iconFolder, const std::function<void(const TByteWriter&)>& writeKml);

// The KMZ export of the marks of a scope. The icons go into the archive before the
// KML, so a first walk gathers their names; the second writes the KML into the
// archive as it walks. The state ends as after one walk of AddKmlPlacemark in KMZ
// mode.
void ExportKmzPackage(ZipArchive& zip, const std::filesystem::path& target, TClientDataSet& cats, TClientDataSet& marks,
                      TExportState& state, TExportScope scope, const std::vector<TRowRef>& selectedRows,
                      const std::filesystem::path& iconFolder);

// The target's file name with its extension replaced by ".kml" (or ".kml" added).
std::string KmlEntryName(const std::filesystem::path& target);
