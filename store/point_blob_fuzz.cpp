// Any blob decodes into points without reading past its end, and the shape rule
// holds for what comes out; a view of the blob in place sees the same points.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "mark_geometry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view blob(reinterpret_cast<const char*>(data), size);
    TArrayExtended points = DecodePoints(blob);
    if (points.size() > size / 24)
        std::abort();
    TMarkShape shape = ShapeOf(points);
    if ((points.size() <= 1) != (shape == msPoint))
        std::abort();
    const TPointsView view(blob);
    if (view.empty() != points.empty() || view.size() != points.size() || ShapeOfPoints(view) != shape)
        std::abort();
    for (size_t i = 0; i < points.size(); ++i)
        if (view[i].Lon != points[i].Lon || view[i].Lat != points[i].Lat)
            std::abort();
    return 0;
}
