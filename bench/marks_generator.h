#pragma once

#include <cstdint>
#include <string>

#include "data_packet.h"

// Realistic generated marks databases for the benchmarks: Latin and Cyrillic names,
// descriptions with line breaks, icons, and point blobs of 1 to 200 points.
struct TGeneratorOptions {
    int Marks = 100000;
    int Categories = 2000;
    double AveragePoints = 20; // between 1 and 200
    std::uint32_t Seed = 1;
};

TPacketContent GenerateCategories(const TGeneratorOptions& options);
TPacketContent GenerateMarks(const TGeneratorOptions& options);
// The categories with every one visible, so an export of the visible marks takes them all.
TPacketContent GenerateVisibleCategories(const TGeneratorOptions& options);
