// What the map page hands back: the answer of an exchange, and a line's path as the
// page writes it. Neither may crash the program, whatever the page holds.
#include <cstddef>
#include <cstdint>

#include "gm_polyline.h"
#include "marks_error.h"
#include "web_engine_view.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        ReadExchangeAnswer(text);
    } catch (const EMarksError&) {
    }
    static TGMPolyline lines;
    static TPolyline& line = lines.Add();
    try {
        line.TakePathText(text);
    } catch (const EMarksError&) {
    }
    return 0;
}
