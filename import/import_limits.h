#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imported_marks.h"
#include "import_stream.h"

// What one import may take. The largest databases we know hold 100,000 marks with
// 2,000,000 points (their KML export is 84 MB); the limits leave five times that
// room, so every export of such a database and every file a GPS device writes
// imports, while a small hostile file can no longer make the import hold gigabytes.

// Marks and points per import (all files of one import together). 500,000 marks
// make a marks table of about 460 MB; 10,000,000 points take 400 MB while they are
// read and stored, and allow a single track of a year's logging.
constexpr std::size_t kMaxImportMarks = 500000;
constexpr std::size_t kMaxImportPoints = 10000000;

// Text kept per field. A description is read by a person in the memo below the
// grid: 64 KB is some thirty printed pages, far more than the descriptions people
// write or that GPSBabel and GDAL put there (tables of attributes of a few KB), so
// only text no person would read is cut. A name keeps 1 KB, more than its 255-byte
// field can take in any script. Longer text is cut, and the message says so.
constexpr std::size_t kMaxDescriptionBytes = 64 * 1024;
constexpr std::size_t kMaxNameBytes = 1024;
// Style references, colours, icon and link addresses.
constexpr std::size_t kMaxShortTextBytes = 4096;
// The names and descriptions of all marks of one import together.
constexpr std::uint64_t kMaxImportTextBytes = 256u << 20;

// One KML document of a KMZ archive inflates to at most 512 MB (six times the KML
// of the largest database), and, once past 1 MB, to at most 100 times its
// compressed size: KML compresses about 5 to 15 times, while a compression bomb
// inflates a thousand times.
constexpr std::uint64_t kMaxKmzDocumentBytes = 512u << 20;
constexpr std::uint64_t kMaxKmzRatio = 100;
constexpr std::uint64_t kKmzRatioFloor = 1u << 20;
// Links from one KML document of an archive to another are followed this deep.
constexpr int kMaxKmzLinkDepth = 5;

// "500,000"
std::string GroupedCount(std::uint64_t n);

enum class TImportedShape { Point, Line, Area };

// Adds a mark with these texts and points to the result. An area's ring is closed
// when the file left it open; a line that ends where it starts is counted, since
// the table holds it as an area. Fails through the stream when the import would
// take more marks or more text than it may.
void AddImportedMark(const TImportStream& xml, TImportResult& result, const std::string& name, const std::string& descr,
                     bool descrCut, std::vector<TLonLat> points, TImportedShape shape);

// Counts points read into the result; fails through the stream when the import
// would take more than it may.
void CountImportedPoints(const TImportStream& xml, TImportResult& result, std::size_t points);
