#include "icon_images.h"

void TIconImages::Load(const TIconCache& cache)
{
    FCache = &cache;
    FImages.clear();
    FImages.reserve(cache.size());
    for (const TIconEntry& entry : cache) {
        const TIconPicture& p = entry.Picture;
        QImage image(p.Rgba.data(), p.Width, p.Height, p.Width * 4, QImage::Format_RGBA8888);
        FImages.push_back(image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
}

const QImage* TIconImages::Find(std::string_view name) const
{
    if (!FCache || name.empty())
        return nullptr;
    const TIconEntry* entry = FindIcon(*FCache, name);
    if (!entry)
        return nullptr;
    const auto index = static_cast<std::size_t>(entry - FCache->data());
    return index < FImages.size() ? &FImages[index] : nullptr;
}
