// Any file opened as an archive is either refused or read into a directory; a
// valid one must then take an addition and a removal (or refuse them), and after
// each read back as exactly the directory the writer holds, with every local
// header where the directory says.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "marks_error.h"
#include "zip_archive.h"

static bool SameDirectory(const ZipArchive& zip, const std::vector<ZipEntry>& expected)
{
    if (!zip.IsZipFile() || zip.HasDamagedEntries() || zip.Entries().size() != expected.size())
        return false;
    for (size_t i = 0; i < expected.size(); ++i) {
        const TCentralDirectoryFile& a = zip.Entries()[i].Central;
        const TCentralDirectoryFile& b = expected[i].Central;
        if (a.Name != b.Name || a.LocalOffset != b.LocalOffset || a.CompressedSize != b.CompressedSize ||
            zip.Entries()[i].Local.Name != expected[i].Local.Name)
            return false;
    }
    return true;
}

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
            zip.AddData("fuzz/added.txt", "added", 0, 0x20);
            const std::vector<ZipEntry> written = zip.Entries();
            zip.OpenArchive(path);
            if (!SameDirectory(zip, written))
                std::abort();
            zip.RemoveEntry(0);
            const std::vector<ZipEntry> kept = zip.Entries();
            zip.OpenArchive(path);
            if (!SameDirectory(zip, kept))
                std::abort();
        }
    } catch (const EMarksError&) {
    }
    close(fd);
    return 0;
}
