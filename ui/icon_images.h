#pragma once

#include <QImage>

#include <string_view>
#include <vector>

#include "icon_cache.h"

// The project's icons as images the grid can draw, made once when the icons load.
class TIconImages {
public:
    void Load(const TIconCache& cache);
    // The image of the first icon whose file name matches, letter case ignored.
    const QImage* Find(std::string_view name) const;

private:
    const TIconCache* FCache = nullptr;
    std::vector<QImage> FImages;
};
