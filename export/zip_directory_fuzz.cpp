// Any file opened as an archive is either refused or read into a directory; a
// valid one must then take an addition and a removal, or refuse them. A refusal
// leaves the file byte for byte as it was. After a change the writer's re-read
// must give exactly the directory it holds, and a second, minimal reading written
// apart from the writer must find every entry the file had before (its name, CRC
// and stored bytes), less the one removed.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "marks_error.h"
#include "zip_archive.h"

namespace {

std::uint32_t U16(const std::string& b, std::size_t at)
{
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}

std::uint32_t U32(const std::string& b, std::size_t at)
{
    return U16(b, at) | (U16(b, at + 2) << 16);
}

struct TPlainEntry {
    std::string Name;
    std::uint32_t Crc = 0;
    std::string Stored;
    bool operator<(const TPlainEntry& o) const { return std::tie(Name, Crc, Stored) < std::tie(o.Name, o.Crc, o.Stored); }
    bool operator==(const TPlainEntry& o) const { return std::tie(Name, Crc, Stored) == std::tie(o.Name, o.Crc, o.Stored); }
};

// The directory as the format describes it and no more: the end record nearest the
// end of the file, the headers within the size it gives from the offset it gives
// (as Python's zipfile reads them), each entry's local header and stored bytes.
// Plain means valid, free of ZIP64 signs, and as many headers as the end record
// counts.
struct TPlainReading {
    bool Plain = false;
    std::vector<TPlainEntry> Entries;
};

TPlainReading ReadPlain(const std::string& file)
{
    TPlainReading r;
    if (file.size() < 22)
        return r;
    std::size_t end = file.size() - 22;
    while (file.compare(end, 4, "PK\x05\x06") != 0) {
        if (end == 0 || file.size() - end > 65557)
            return r;
        --end;
    }
    if (end >= 20 && file.compare(end - 20, 4, "PK\x06\x07") == 0)
        return r;
    const std::uint32_t count = U16(file, end + 8);
    std::uint64_t at = U32(file, end + 16);
    const std::uint64_t directoryEnd = at + U32(file, end + 12);
    if (U32(file, end + 12) == 0xFFFFFFFF || at == 0xFFFFFFFF || directoryEnd > end)
        return r;
    while (at < directoryEnd) {
        if (at + 46 > end || file.compare(at, 4, "PK\x01\x02") != 0)
            return r;
        const std::uint32_t size = U32(file, at + 20);
        const std::uint64_t local = U32(file, at + 42);
        if (size == 0xFFFFFFFF || U32(file, at + 24) == 0xFFFFFFFF || local == 0xFFFFFFFF)
            return r;
        const std::uint32_t nameLength = U16(file, at + 28);
        TPlainEntry e;
        e.Crc = U32(file, at + 16);
        if (at + 46 + nameLength > end)
            return r;
        e.Name = file.substr(at + 46, nameLength);
        at += 46 + nameLength + U16(file, at + 30) + U16(file, at + 32);
        if (local + 30 > file.size() || file.compare(local, 4, "PK\x03\x04") != 0)
            return r;
        const std::uint64_t data = local + 30 + U16(file, local + 26) + U16(file, local + 28);
        if (data + size > file.size())
            return r;
        e.Stored = file.substr(data, size);
        r.Entries.push_back(std::move(e));
    }
    r.Plain = r.Entries.size() == count;
    return r;
}

std::string Contents(int fd)
{
    std::string bytes(static_cast<std::size_t>(lseek(fd, 0, SEEK_END)), '\0');
    if (pread(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        std::abort();
    return bytes;
}

bool SameDirectory(const ZipArchive& zip, const std::vector<ZipEntry>& expected)
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

// Runs a change: a refusal must leave the file as it was; a change must leave a
// plain archive that the writer re-reads as it holds it, and that still has the
// entries kept says it keeps.
template <typename TChange, typename TKept>
void Check(ZipArchive& zip, const std::string& path, int fd, TChange change, TKept kept)
{
    const std::string before = Contents(fd);
    try {
        change();
    } catch (const EMarksError&) {
        if (Contents(fd) != before)
            std::abort();
        throw;
    }
    const TPlainReading old = ReadPlain(before);
    const TPlainReading now = ReadPlain(Contents(fd));
    if (!old.Plain || !now.Plain || !kept(old.Entries, now.Entries))
        std::abort();
    const std::vector<ZipEntry> written = zip.Entries();
    zip.OpenArchive(path);
    if (!SameDirectory(zip, written))
        std::abort();
}

// Whether every entry of from is in to, as often, apart from one of the name the
// addition replaces (compared loosely: any name holding "added" in any case).
bool AllKept(const std::vector<TPlainEntry>& from, const std::vector<TPlainEntry>& to)
{
    std::map<TPlainEntry, int> left;
    for (const TPlainEntry& e : to)
        ++left[e];
    for (const TPlainEntry& e : from) {
        std::string lower = e.Name;
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        if (lower.find("added") == std::string::npos && --left[e] < 0)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int fd = memfd_create("zip", 0);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size))
        std::abort();
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    try {
        ZipArchive zip;
        zip.OpenArchive(path);
        if (zip.IsZipFile() && zip.Entries().size() < 1000) {
            try {
                Check(zip, path, fd, [&] { zip.AddData("fuzz/added.txt", "added", 0, 0x20); }, AllKept);
            } catch (const EMarksError&) {
            }
            if (zip.IsZipFile() && !zip.Entries().empty())
                Check(zip, path, fd, [&] { zip.RemoveEntry(0); },
                      [](const std::vector<TPlainEntry>& from, const std::vector<TPlainEntry>& to) {
                          return !from.empty() && std::vector<TPlainEntry>(from.begin() + 1, from.end()) == to;
                      });
        }
    } catch (const EMarksError&) {
    }
    close(fd);
    return 0;
}
