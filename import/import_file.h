#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

#include "imported_marks.h"

// How far the reading of a file has come: bytes of the file read and its size.
// Returning false stops the import.
using TImportProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// Reads a GPX, KML, KMZ or GeoJSON file whole and adds what it holds to result,
// whose counts it also adds to; several files of one import go into one result,
// within the import's limits. The kind is told by the content, not by the name: a
// ZIP archive is a KMZ, whose first ".kml" entry is read with the KML documents of
// the archive its network links lead to; a text that begins with "{" or "[" is
// GeoJSON; otherwise the root element must be "gpx" or "kml".
// A file that cannot be read, is not well-formed, goes beyond a limit or is stopped
// by progress raises an EMarksError naming the file, the line where there is one
// and the reason; result then holds part of the file and is of no further use.
void ReadImportFile(const std::filesystem::path& path, TImportResult& result, const TImportProgress& progress = {});
TImportResult ReadImportFile(const std::filesystem::path& path);

// The file chooser's filter ("text|pattern|..."), and whether a dropped file's name
// says it is one of the kinds.
extern const char* const kImportFilter;
bool IsImportFileName(const std::filesystem::path& path);
