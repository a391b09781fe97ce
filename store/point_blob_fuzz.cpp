// Any blob decodes into points without reading past its end, and the shape rule
// holds for what comes out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "mark_geometry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TArrayExtended points = DecodePoints(std::string_view(reinterpret_cast<const char*>(data), size));
    if (points.size() > size / 24)
        std::abort();
    TMarkShape shape = ShapeOf(points);
    if ((points.size() <= 1) != (shape == msPoint))
        std::abort();
    return 0;
}
