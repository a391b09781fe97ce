#include "kmz_source.h"

#include <unistd.h>
#include <zlib.h>

#include <memory>

#include "ascii.h"
#include "code_page.h"
#include "import_limits.h"
#include "marks_error.h"
#include "url_text.h"

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

std::string LowerAscii(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = AsciiLower(c);
    return lower;
}

// The entry's name as messages show it, which are UTF-8.
std::string PartName(const ZipEntry& entry)
{
    std::string name = entry.Central.Name;
    if (!IsWellFormedUtf8(name))
        for (char& c : name)
            if (static_cast<unsigned char>(c) >= 0x80)
                c = '?';
    return name;
}

std::string RatioText(const std::string& part)
{
    return "The KML document \"" + part + "\" in the archive inflates to more than " + GroupedCount(kMaxKmzRatio) +
           " times its compressed size, which this program refuses as a compression bomb.";
}

// The entry name a relative address in the entry `from` leads to; empty for an
// absolute address, one with a scheme, or one that climbs out of the archive.
std::string ResolvedEntryName(std::string_view from, std::string_view href)
{
    href = href.substr(0, href.find_first_of("#?"));
    if (href.empty() || href.find(':') != std::string_view::npos || href[0] == '/' || href[0] == '\\')
        return {};
    std::vector<std::string> parts;
    auto add = [&](std::string_view path, bool lastIsFile) {
        size_t begin = 0;
        while (begin <= path.size()) {
            size_t end = path.find_first_of("/\\", begin);
            if (end == std::string_view::npos) {
                if (!lastIsFile)
                    break;
                end = path.size();
            }
            const std::string_view part = path.substr(begin, end - begin);
            if (part == "..") {
                if (parts.empty())
                    return false;
                parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.emplace_back(part);
            }
            begin = end + 1;
        }
        return true;
    };
    if (!add(from, false) || !add(href, true))
        return {};
    std::string name;
    for (const std::string& part : parts)
        name += (name.empty() ? "" : "/") + part;
    return name;
}

// Reads the entry's stored bytes in pieces and hands them out stored or inflated,
// checking the length, the CRC-32 and the ratio of inflated to compressed bytes.
class TEntryReader {
public:
    TEntryReader(int fd, const ZipEntry& entry, std::string ratioError, std::function<void(std::uint64_t)> onRead)
        : FFd(fd), FOffset(ZipArchive::DataOffset(entry)), FLeft(entry.Central.CompressedSize),
          FExpected(entry.Central.UncompressedSize), FCrc(entry.Central.Crc), FDeflated(entry.Central.Method == 8),
          FRatioError(std::move(ratioError)), FOnRead(std::move(onRead))
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
        // The directory may understate the ratio; the stream itself may not exceed it.
        if (FProduced > kKmzRatioFloor && FProduced > kMaxKmzRatio * FConsumed)
            throw EMarksError(FRatioError);
        return n;
    }

private:
    int FFd;
    std::uint64_t FOffset;
    std::uint64_t FLeft;
    std::uint64_t FExpected;
    std::uint32_t FCrc;
    bool FDeflated;
    std::string FRatioError;
    std::function<void(std::uint64_t)> FOnRead;
    z_stream FZ{};
    bool FEnded = false;
    unsigned char FIn[65536];
    std::uint64_t FConsumed = 0;
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
        FConsumed += static_cast<std::uint64_t>(n);
        FOnRead(static_cast<std::uint64_t>(n));
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

TKmzArchive::TKmzArchive(const std::filesystem::path& path, int fd, std::function<void(std::uint64_t)> onRead)
    : FPath(path), FFd(fd), FOnRead(std::move(onRead))
{
    FZip.OpenArchiveForReading(path);
    if (!FZip.IsZipFile() || FZip.HasDamagedEntries())
        Refuse(path, "It is not a readable KMZ archive.");
    for (const ZipEntry& entry : FZip.Entries())
        if (IsKmlEntry(entry)) {
            FKml.push_back(&entry);
            FByName.emplace(entry.Central.Name, &entry);
            FByLowerName.emplace(LowerAscii(entry.Central.Name), &entry);
        }
    if (FKml.empty())
        Refuse(path, "The archive holds no KML document.");
}

const ZipEntry* TKmzArchive::FindKml(std::string_view name) const
{
    if (auto exact = FByName.find(name); exact != FByName.end())
        return exact->second;
    auto blind = FByLowerName.find(LowerAscii(name));
    return blind != FByLowerName.end() ? blind->second : nullptr;
}

const ZipEntry* TKmzArchive::LinkedKml(const ZipEntry& from, std::string_view href) const
{
    for (const std::string& address : {std::string(href), PercentDecoded(href)}) {
        const std::string name = ResolvedEntryName(from.Central.Name, address);
        if (const ZipEntry* entry = name.empty() ? nullptr : FindKml(name))
            return entry;
    }
    return nullptr;
}

TXmlStream::TSource TKmzArchive::Open(const ZipEntry& entry, std::string& part) const
{
    part = PartName(entry);
    const std::string document = "The KML document \"" + part + "\" in the archive ";
    if (entry.IsEncrypted)
        Refuse(FPath, document + "is encrypted.");
    if (entry.Central.Method != 0 && entry.Central.Method != 8)
        Refuse(FPath, document + "is compressed in a way this program does not read.");
    const std::uint64_t inflated = entry.Central.UncompressedSize;
    if (inflated > kMaxKmzDocumentBytes)
        Refuse(FPath, document + "inflates to more than " + GroupedCount(kMaxKmzDocumentBytes >> 20) +
                          " MB, the most this program reads from one document.");
    if (inflated > kKmzRatioFloor && inflated > kMaxKmzRatio * std::uint64_t{entry.Central.CompressedSize})
        Refuse(FPath, RatioText(part));
    auto reader = std::make_shared<TEntryReader>(
        FFd, entry, "Cannot import file \"" + FPath.string() + "\". " + RatioText(part), FOnRead);
    return [reader](char* buffer, int size, std::string& reason) { return reader->Read(buffer, size, reason); };
}
