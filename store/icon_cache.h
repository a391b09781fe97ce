#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The icon pictures of a project directory's MarksIcons folder, decoded once when
// the directory opens.
struct TIconPicture {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Rgba; // Width * Height pixels, 8 bits each of R, G, B, A
};

struct TIconEntry {
    std::string Name; // file name as listed, with extension
    TIconPicture Picture;
};

using TIconCache = std::vector<TIconEntry>;

// Decodes a PNG file. Throws EMarksError naming the file when it is not a PNG
// picture the decoder can read.
TIconPicture DecodePng(const std::filesystem::path& path);

// Empties the cache, then appends every "*.png" of dir/MarksIcons (letter case
// ignored, in byte order of the names). A missing folder leaves the cache empty; a
// file that does not decode stops the loading with its error, keeping the icons
// decoded before it.
void LoadIcons(const std::filesystem::path& dir, TIconCache& cache);

// The cache entry of that file name, letter case ignored; nullptr when there is none.
const TIconEntry* FindIcon(const TIconCache& cache, std::string_view name);
