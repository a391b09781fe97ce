// Any file opened as an archive is either refused or read into a directory; a
// valid one must then take an addition and read back with one more entry.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "marks_error.h"
#include "zip_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int fd = memfd_create("zip", 0);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size))
        std::abort();
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    try {
        ZipArchive zip;
        zip.OpenArchive(path);
        if (zip.IsZipFile() && !zip.HasDamagedEntries() && zip.Entries().size() < 1000) {
            size_t before = zip.Entries().size();
            zip.AddData("fuzz/added.txt", "added", 0, 0x20);
            zip.OpenArchive(path);
            if (!zip.IsZipFile() || zip.Entries().size() < before + 1)
                std::abort();
        }
    } catch (const EMarksError&) {
    }
    close(fd);
    return 0;
}
