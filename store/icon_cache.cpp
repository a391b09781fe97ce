#include "icon_cache.h"

#include <png.h>

#include <algorithm>
#include <cstring>

#include "ascii.h"
#include "file_io.h"
#include "marks_error.h"

TIconPicture DecodePng(const std::filesystem::path& path)
{
    std::string bytes = ReadWholeFile(path);
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    TIconPicture picture;
    if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        image.format = PNG_FORMAT_RGBA;
        picture.Width = static_cast<int>(image.width);
        picture.Height = static_cast<int>(image.height);
        picture.Rgba.resize(PNG_IMAGE_SIZE(image));
        if (png_image_finish_read(&image, nullptr, picture.Rgba.data(), 0, nullptr))
            return picture;
    }
    std::string reason = image.message[0] ? image.message : "unknown error";
    png_image_free(&image);
    throw EMarksError("The icon \"" + path.string() + "\" is not a PNG picture that can be read (" + reason + ").");
}

void LoadIcons(const std::filesystem::path& dir, TIconCache& cache)
{
    cache.clear();
    const std::filesystem::path folder = dir / "MarksIcons";
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
        return;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::string name = entry.path().filename().string();
        if (name.size() > 4 && EqualNoCase(std::string_view(name).substr(name.size() - 4), ".png") &&
            !entry.is_directory(error))
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        cache.push_back({name, DecodePng(folder / name)});
}

const TIconEntry* FindIcon(const TIconCache& cache, std::string_view name)
{
    for (const TIconEntry& entry : cache)
        if (EqualNoCase(entry.Name, name))
            return &entry;
    return nullptr;
}
