// Any bytes given to the packet reader either read or fail with EMarksError; what
// reads must be written and read back with the same fields and rows.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "data_packet.h"
#include "marks_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TPacketContent content;
    try {
        content = ReadPacket(bytes);
    } catch (const EMarksError&) {
        return 0;
    }
    // Without a pending change log only the rows in use are written.
    size_t rows = content.Rows.size();
    if (content.ChangeLog.empty())
        rows = static_cast<size_t>(std::count_if(content.Rows.begin(), content.Rows.end(),
                                                 [](const TStoredRow& r) { return (r.State & kHiddenStates) == 0; }));
    TPacketContent again = ReadPacket(WriteXmlPacket(content));
    if (again.Fields.size() != content.Fields.size() || again.Rows.size() != rows ||
        again.ChangeLog != content.ChangeLog)
        std::abort();
    return 0;
}
