#pragma once

#include <filesystem>

#include "imported_marks.h"

// Reads a GPX, KML or KMZ file whole. The kind is told by the content, not by the
// name: a ZIP archive is a KMZ, whose first ".kml" entry is read; otherwise the
// root element must be "gpx" or "kml". A file that cannot be read, or is not
// well-formed, raises an EMarksError naming the file, the line and the reason.
TImportResult ReadImportFile(const std::filesystem::path& path);

// The file chooser's filter ("text|pattern|..."), and whether a dropped file's name
// says it is one of the three kinds.
extern const char* const kImportFilter;
bool IsImportFileName(const std::filesystem::path& path);
