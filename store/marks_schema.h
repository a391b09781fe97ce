#pragma once

#include "client_dataset.h"

// The window's declarations of its two tables.

// CDCats: the categories, ordered by name, then id.
TTableSchema CatsSchema();

// CDMarks: the marks, ordered by category, scale and name; the detail of CDCats.
TTableSchema MarksSchema();

// A field descriptor as the map application stores it.
TStoredField StoredField(std::string name, std::string typeName, std::string subtype = {}, int width = 0,
                         bool readOnly = false);

// Packets without rows, with the field descriptors the map application writes for
// the two files (widths 256, 255 and 20; a read-only auto-increment id). For new
// databases: the sample, the benchmark generator and tests.
TPacketContent EmptyCatsPacket();
TPacketContent EmptyMarksPacket();
