#include "kmz_source.h"

#include <unistd.h>
#include <zlib.h>

#include <memory>

#include "ascii.h"
#include "code_page.h"
#include "marks_error.h"
#include "zip_archive.h"

namespace {

[[noreturn]] void Refuse(const std::filesystem::path& path, const std::string& reason)
{
    throw EMarksError("Cannot import file \"" + path.string() + "\". " + reason);
}

bool IsKmlEntry(const ZipEntry& entry)
{
    const std::string& name = entry.Central.Name;
    return !entry.IsFolder && name.size() > 4 && EqualNoCase(std::string_view(name).substr(name.size() - 4), ".kml");
}

// Reads the entry's stored bytes in pieces and hands them out stored or inflated,
// checking the length and the CRC-32 the directory gives.
class TEntryReader {
public:
    TEntryReader(int fd, const ZipEntry& entry)
        : FFd(fd), FOffset(ZipArchive::DataOffset(entry)), FLeft(entry.Central.CompressedSize),
          FExpected(entry.Central.UncompressedSize), FCrc(entry.Central.Crc), FDeflated(entry.Central.Method == 8)
    {
        if (FDeflated && inflateInit2(&FZ, -15) != Z_OK)
            throw EMarksError("Insufficient memory for this operation.");
    }
    ~TEntryReader()
    {
        if (FDeflated)
            inflateEnd(&FZ);
    }
    TEntryReader(const TEntryReader&) = delete;
    TEntryReader& operator=(const TEntryReader&) = delete;

    int Read(char* buffer, int size, std::string& reason)
    {
        int n = FDeflated ? Inflate(buffer, size, reason) : Stored(buffer, size, reason);
        if (n < 0)
            return n;
        FProduced += static_cast<std::uint64_t>(n);
        FCrcNow = crc32(FCrcNow, reinterpret_cast<const Bytef*>(buffer), static_cast<uInt>(n));
        if (FProduced > FExpected || (n == 0 && (FProduced != FExpected || FCrcNow != FCrc))) {
            reason = "the KML document in the archive is damaged";
            return -1;
        }
        return n;
    }

private:
    int FFd;
    std::uint64_t FOffset;
    std::uint64_t FLeft;
    std::uint64_t FExpected;
    std::uint32_t FCrc;
    bool FDeflated;
    z_stream FZ{};
    bool FEnded = false;
    unsigned char FIn[65536];
    std::uint64_t FProduced = 0;
    uLong FCrcNow = crc32(0, nullptr, 0);

    // Up to size stored bytes; -1 when the archive is shorter than its directory says.
    int Fetch(unsigned char* to, size_t size, std::string& reason)
    {
        size_t want = static_cast<size_t>(std::min<std::uint64_t>(size, FLeft));
        if (want == 0)
            return 0;
        ssize_t n = ::pread(FFd, to, want, static_cast<off_t>(FOffset));
        if (n <= 0) {
            reason = n < 0 ? "the archive cannot be read" : "the archive ends inside the KML document";
            return -1;
        }
        FOffset += static_cast<std::uint64_t>(n);
        FLeft -= static_cast<std::uint64_t>(n);
        return static_cast<int>(n);
    }

    int Stored(char* buffer, int size, std::string& reason)
    {
        return Fetch(reinterpret_cast<unsigned char*>(buffer), static_cast<size_t>(size), reason);
    }

    int Inflate(char* buffer, int size, std::string& reason)
    {
        FZ.next_out = reinterpret_cast<Bytef*>(buffer);
        FZ.avail_out = static_cast<uInt>(size);
        while (FZ.avail_out == static_cast<uInt>(size) && !FEnded) {
            if (FZ.avail_in == 0) {
                int n = Fetch(FIn, sizeof FIn, reason);
                if (n < 0)
                    return -1;
                if (n == 0) {
                    reason = "the KML document in the archive is damaged";
                    return -1;
                }
                FZ.next_in = FIn;
                FZ.avail_in = static_cast<uInt>(n);
            }
            int result = inflate(&FZ, Z_NO_FLUSH);
            if (result == Z_STREAM_END) {
                FEnded = true;
            } else if (result != Z_OK && result != Z_BUF_ERROR) {
                reason = "the KML document in the archive is damaged";
                return -1;
            }
        }
        return size - static_cast<int>(FZ.avail_out);
    }
};

} // namespace

TXmlStream::TSource OpenKmzDocument(const std::filesystem::path& path, int fd, std::string& entryName)
{
    ZipArchive zip;
    zip.OpenArchiveForReading(path);
    if (!zip.IsZipFile() || zip.HasDamagedEntries())
        Refuse(path, "It is not a readable KMZ archive.");
    const ZipEntry* found = nullptr;
    for (const ZipEntry& entry : zip.Entries())
        if (IsKmlEntry(entry)) {
            found = &entry;
            break;
        }
    if (!found)
        Refuse(path, "The archive holds no KML document.");
    if (found->IsEncrypted)
        Refuse(path, "The KML document in the archive is encrypted.");
    if (found->Central.Method != 0 && found->Central.Method != 8)
        Refuse(path, "The KML document in the archive is compressed in a way this program does not read.");
    // The name goes into messages, which are UTF-8.
    entryName = found->Central.Name;
    if (!IsWellFormedUtf8(entryName))
        for (char& c : entryName)
            if (static_cast<unsigned char>(c) >= 0x80)
                c = '?';
    auto reader = std::make_shared<TEntryReader>(fd, *found);
    return [reader](char* buffer, int size, std::string& reason) { return reader->Read(buffer, size, reason); };
}
