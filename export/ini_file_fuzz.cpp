// Any bytes read as Icons.ini give section names within the reader's limits and
// type lines that are either found or the default.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TIniFile ini = TIniFile::FromText(std::string_view(reinterpret_cast<const char*>(data), size));
    size_t bytes = 1;
    for (const std::string& name : ini.SectionNames()) {
        bytes += name.size() + 1;
        if (ini.ReadString(name, "Type").size() > 2047)
            std::abort();
    }
    if (bytes > 16384)
        std::abort();
    return 0;
}
