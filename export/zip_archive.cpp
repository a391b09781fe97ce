#include "zip_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

#include "code_page.h"
#include "deflate_stream.h"
#include "file_io.h"
#include "marks_error.h"

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint32_t kFolderAttribute = 0x10;
// A 32-bit size or offset of this value (a 16-bit field of 0xFFFF) says the real
// one is in a ZIP64 record; an archive without ZIP64 stays below it.
constexpr std::uint64_t kMax32 = 0xFFFFFFFF;
constexpr std::uint16_t kMax16 = 0xFFFF;
// The most entries an archive without ZIP64 can count, and the most a scan of
// local headers gathers before it gives up on the file.
constexpr std::size_t kMaxEntries = 0xFFFF;

void Put16(std::string& out, std::uint32_t v)
{
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::uint16_t Get16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Get32(const unsigned char* p)
{
    return std::uint32_t(Get16(p)) | (std::uint32_t(Get16(p + 2)) << 16);
}

std::uint64_t Get64(const unsigned char* p)
{
    return std::uint64_t(Get32(p)) | (std::uint64_t(Get32(p + 4)) << 32);
}

const unsigned char* Bytes(std::string_view s)
{
    return reinterpret_cast<const unsigned char*>(s.data());
}

// The ZIP64 extended information block of an extra field; empty when there is none.
std::optional<std::string_view> Zip64Block(std::string_view extra)
{
    while (extra.size() >= 4) {
        const std::uint16_t id = Get16(Bytes(extra));
        const std::uint16_t size = Get16(Bytes(extra) + 2);
        if (size > extra.size() - 4)
            break;
        if (id == kZip64ExtraId)
            return extra.substr(4, size);
        extra.remove_prefix(4 + size);
    }
    return std::nullopt;
}

// Takes the values the header marks as kept in its ZIP64 block (the sizes and the
// offset at 0xFFFFFFFF, the disk at 0xFFFF), in the order the block holds them;
// false when the block lacks one of them. A header without the block keeps its
// values as they are.
bool ApplyZip64Block(std::string_view extra, std::initializer_list<std::uint64_t*> wide, std::uint32_t* disk)
{
    const std::optional<std::string_view> block = Zip64Block(extra);
    if (!block)
        return true;
    std::string_view rest = *block;
    for (std::uint64_t* value : wide) {
        if (*value != kMax32)
            continue;
        if (rest.size() < 8)
            return false;
        *value = Get64(Bytes(rest));
        rest.remove_prefix(8);
    }
    if (disk && *disk == kMax16) {
        if (rest.size() < 4)
            return false;
        *disk = Get32(Bytes(rest));
    }
    return true;
}

[[noreturn]] void SystemError(int error)
{
    throw EMarksError("System Error.  Code: " + std::to_string(error) + ".\r\n" + SystemErrorText(error));
}

std::string Expanded(const std::filesystem::path& path)
{
    return std::filesystem::absolute(path).lexically_normal().string();
}

// Reads exactly size bytes at offset; false on a short read.
bool ReadAt(int fd, std::uint64_t offset, void* buffer, size_t size)
{
    auto* p = static_cast<char*>(buffer);
    while (size > 0) {
        ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Reads small pieces of a file, mostly in order, through a window of it, so that a
// directory of many headers costs few system calls.
class TFileWindow {
public:
    explicit TFileWindow(int fd) : FFd(fd) {}

    // Exactly size bytes at offset; false on a short read.
    bool Read(std::uint64_t offset, void* buffer, size_t size)
    {
        if (offset < FStart || offset - FStart + size > FBytes.size()) {
            if (size > kWindow)
                return ReadAt(FFd, offset, buffer, size);
            FStart = offset;
            FBytes.resize(kWindow);
            ssize_t n;
            do
                n = ::pread(FFd, FBytes.data(), kWindow, static_cast<off_t>(offset));
            while (n < 0 && errno == EINTR);
            FBytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
            if (size > FBytes.size())
                return false;
        }
        std::memcpy(buffer, FBytes.data() + (offset - FStart), size);
        return true;
    }

private:
    static constexpr size_t kWindow = 1 << 16;
    int FFd;
    std::uint64_t FStart = 0;
    std::string FBytes;
};

void WriteAt(int fd, std::uint64_t offset, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            SystemError(n < 0 ? errno : EIO);
        offset += static_cast<std::uint64_t>(n);
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

void SetLength(int fd, std::uint64_t length)
{
    if (::ftruncate(fd, static_cast<off_t>(length)) != 0)
        SystemError(errno);
}

std::string CentralBytes(const TCentralDirectoryFile& c)
{
    std::string out;
    Put32(out, kCentralSignature);
    Put16(out, c.VersionMadeBy);
    Put16(out, c.VersionNeeded);
    Put16(out, c.Flag);
    Put16(out, c.Method);
    Put16(out, c.Time);
    Put16(out, c.Date);
    Put32(out, c.Crc);
    Put32(out, static_cast<std::uint32_t>(c.CompressedSize));
    Put32(out, static_cast<std::uint32_t>(c.UncompressedSize));
    Put16(out, static_cast<std::uint32_t>(c.Name.size()));
    Put16(out, static_cast<std::uint32_t>(c.Extra.size()));
    Put16(out, static_cast<std::uint32_t>(c.Comment.size()));
    Put16(out, c.DiskStart);
    Put16(out, c.InternalAttributes);
    Put32(out, c.ExternalAttributes);
    Put32(out, static_cast<std::uint32_t>(c.LocalOffset));
    out += c.Name;
    out += c.Extra;
    out += c.Comment;
    return out;
}

std::string LocalBytes(const TLocalFile& l)
{
    std::string out;
    Put32(out, l.Signature);
    Put16(out, l.VersionNeeded);
    Put16(out, l.Flag);
    Put16(out, l.Method);
    Put16(out, l.Time);
    Put16(out, l.Date);
    Put32(out, l.Crc);
    Put32(out, static_cast<std::uint32_t>(l.CompressedSize));
    Put32(out, static_cast<std::uint32_t>(l.UncompressedSize));
    Put16(out, static_cast<std::uint32_t>(l.Name.size()));
    Put16(out, static_cast<std::uint32_t>(l.Extra.size()));
    out += l.Name;
    out += l.Extra;
    return out;
}

std::string EndRecord(std::uint16_t count, std::uint32_t size, std::uint32_t offset, std::uint16_t commentLength)
{
    std::string out;
    Put32(out, kEndSignature);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, count);
    Put16(out, count);
    Put32(out, size);
    Put32(out, offset);
    Put16(out, commentLength);
    return out;
}

// Reads the local header at offset; false when it is not one (or cut short, or its
// ZIP64 block lacks a size it promises).
bool ReadLocalHeader(TFileWindow& file, std::uint64_t offset, TLocalFile& l)
{
    unsigned char fixed[30];
    if (!file.Read(offset, fixed, sizeof fixed) || Get32(fixed) != kLocalSignature)
        return false;
    l.Signature = Get32(fixed);
    l.VersionNeeded = Get16(fixed + 4);
    l.Flag = Get16(fixed + 6);
    l.Method = Get16(fixed + 8);
    l.Time = Get16(fixed + 10);
    l.Date = Get16(fixed + 12);
    l.Crc = Get32(fixed + 14);
    l.CompressedSize = Get32(fixed + 18);
    l.UncompressedSize = Get32(fixed + 22);
    l.Name.assign(Get16(fixed + 26), '\0');
    l.Extra.assign(Get16(fixed + 28), '\0');
    return file.Read(offset + 30, l.Name.data(), l.Name.size()) &&
           file.Read(offset + 30 + l.Name.size(), l.Extra.data(), l.Extra.size()) &&
           ApplyZip64Block(l.Extra, {&l.UncompressedSize, &l.CompressedSize}, nullptr);
}

// The fields a local header and a central directory header have in common.
template <typename TFrom, typename TTo>
void CopyCommonFields(const TFrom& from, TTo& to)
{
    to.VersionNeeded = from.VersionNeeded;
    to.Flag = from.Flag;
    to.Method = from.Method;
    to.Time = from.Time;
    to.Date = from.Date;
    to.Crc = from.Crc;
    to.CompressedSize = from.CompressedSize;
    to.UncompressedSize = from.UncompressedSize;
    to.Name = from.Name;
    to.Extra = from.Extra;
}

void DeriveFlags(ZipEntry& e)
{
    e.IsFolder = (e.Central.ExternalAttributes & kFolderAttribute) != 0;
    e.IsEncrypted = (e.Central.Flag & 1) != 0;
    if (e.Central.Method == 8 || e.Central.Method == 9) {
        static constexpr TZipCompressionType kByFlag[] = {ctNormal, ctMaximum, ctFast, ctSuperFast};
        e.Compression = kByFlag[(e.Central.Flag >> 1) & 3];
    } else {
        e.Compression = ctUnknown;
    }
}

int ZlibLevel(TZipCompressionType type)
{
    switch (type) {
    case ctMaximum: return 9;
    case ctFast:
    case ctSuperFast: return 1;
    case ctNone: return 0;
    default: return Z_DEFAULT_COMPRESSION;
    }
}

// A raw deflate stream (no zlib header or trailer) of the data, in one pass.
std::string Deflate(std::string_view data, int level)
{
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw EMarksError("Error");
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    int result = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (result != Z_STREAM_END)
        throw EMarksError("Error");
    return out;
}

// MS-DOS attributes of a file system entry: archive, read-only when no one may write.
std::uint32_t AttributesOf(const struct stat& st)
{
    if (S_ISDIR(st.st_mode))
        return kFolderAttribute;
    return 0x20 | ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ? 0x01 : 0);
}

constexpr std::uint16_t kUtf8NameFlag = 0x0800;

bool IsAscii(std::string_view name)
{
    for (char c : name)
        if (static_cast<unsigned char>(c) > 0x7F)
            return false;
    return true;
}

// An entry name as compared without regard to letter case. A UTF-8 name is
// compared in its Windows-1251 form where it has one; otherwise byte for byte,
// since UTF-8 bytes lowered as Windows-1251 would merge different letters.
std::pair<bool, std::string> NameKey(std::string_view name, bool utf8)
{
    if (!utf8)
        return {false, Cp1251Lower(name)};
    std::string single = Utf8ToCp1251(name);
    if (Cp1251ToUtf8(single) == name)
        return {false, Cp1251Lower(single)};
    return {true, std::string(name)};
}

bool SameName(const TCentralDirectoryFile& entry, std::string_view entryName, std::string_view name, bool utf8)
{
    return NameKey(entryName, (entry.Flag & kUtf8NameFlag) != 0) == NameKey(name, utf8);
}

} // namespace


namespace {

// Why an archive is not changed, as the refusal says it.
constexpr const char* kZip64Archive = "is a ZIP64 archive";
constexpr const char* kMismatch = "has a directory that does not match its end record";

// Makes the file at least length bytes long with its blocks allocated, so that no
// write below that length can fail for want of room. Where the file system cannot
// allocate ahead, the file is only extended.
void Reserve(int fd, std::uint64_t length)
{
    struct stat st{};
    if (::fstat(fd, &st) != 0)
        SystemError(errno);
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (length <= size)
        return;
    const int result = ::posix_fallocate(fd, static_cast<off_t>(size), static_cast<off_t>(length - size));
    if (result == EOPNOTSUPP || result == EINVAL)
        SetLength(fd, length);
    else if (result != 0)
        SystemError(result);
}

} // namespace

std::uint64_t ZipEntry::LocalSize() const
{
    return 30 + Central.Name.size() + Central.Extra.size() + Central.CompressedSize + ((Central.Flag & 8) ? 16 : 0);
}

std::uint64_t ZipEntry::CentralSize() const
{
    return 46 + Central.Name.size() + Central.Extra.size() + Central.Comment.size();
}

std::uint64_t ZipArchive::DataOffset(const ZipEntry& entry)
{
    return entry.Central.LocalOffset + 30 + entry.Local.Name.size() + entry.Local.Extra.size();
}

std::uint32_t DosDateTime(std::time_t time)
{
    std::tm t{};
    localtime_r(&time, &t);
    int year = t.tm_year + 1900;
    if (year < 1980 || year > 2107)
        return 0;
    std::uint32_t dosTime = (std::uint32_t(t.tm_hour) << 11) | (std::uint32_t(t.tm_min) << 5) | (std::uint32_t(t.tm_sec) / 2);
    std::uint32_t dosDate = (std::uint32_t(year - 1980) << 9) | (std::uint32_t(t.tm_mon + 1) << 5) | std::uint32_t(t.tm_mday);
    return dosTime | (dosDate << 16);
}

ZipArchive::~ZipArchive()
{
    // A failure to flush is raised by an explicit close; here no one could be told.
    try {
        CloseArchive();
    } catch (const EMarksError&) {
    }
}

void ZipArchive::CreateEmptyArchive(const std::filesystem::path& path)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        throw EMarksError("Cannot create file \"" + Expanded(path) + "\". " + SystemErrorText(errno));
    std::string end = EndRecord(0, 0, 0, 0);
    int error = 0;
    if (::write(fd, end.data(), end.size()) != static_cast<ssize_t>(end.size()))
        error = errno ? errno : EIO;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        throw EMarksError("Cannot create file \"" + Expanded(path) + "\". " + SystemErrorText(error));
}

void ZipArchive::OpenArchive(const std::filesystem::path& path)
{
    Open(path, false);
}

void ZipArchive::OpenArchiveForReading(const std::filesystem::path& path)
{
    Open(path, true);
}

void ZipArchive::Open(const std::filesystem::path& path, bool forReading)
{
    CloseArchive();
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0)
        throw EMarksError("File \"" + path.string() + "\" not found!");
    FReadOnly = forReading || (AttributesOf(st) & 0x01) != 0 || S_ISDIR(st.st_mode);
    try {
        // Without waiting: a FIFO or a device is refused, never waited on.
        FFile = OpenToRead(path, FReadOnly ? O_RDONLY : O_RDWR, st, Expanded(path));
    } catch (const EMarksError&) {
        FReadOnly = false;
        throw;
    }
    FFileName = path;
    ReadDirectory();
    if (!FIsZipFile) {
        ::close(FFile);
        FFile = -1;
        FEntries.clear();
    }
}

void ZipArchive::ReadDirectory()
{
    FEntries.clear();
    FIsZipFile = false;
    FDamaged = false;
    FUnchangeable.clear();
    FNotArchive = "it is not a regular file";
    struct stat st{};
    if (::fstat(FFile, &st) != 0 || !S_ISREG(st.st_mode))
        return;
    FNotArchive = "it holds no ZIP directory";
    const auto length = static_cast<std::uint64_t>(st.st_size);
    if (length < 22)
        return;
    if (!FindEndRecord(length)) {
        ScanLocalHeaders(length);
        return;
    }
    FNotArchive = "its directory is damaged or not where its end record says";
    unsigned char end[22];
    if (!ReadAt(FFile, FEndOffset, end, sizeof end))
        return;
    auto unchangeable = [&](const char* why) {
        if (FUnchangeable.empty())
            FUnchangeable = why;
    };
    std::uint64_t count = Get16(end + 8);
    std::uint64_t totalCount = Get16(end + 10);
    std::uint64_t size = Get32(end + 12);
    FCentralOffset = Get32(end + 16);
    std::uint64_t directoryEnd = FEndOffset;
    // A ZIP64 end record, found through the locator just before the end record,
    // gives the values in force; without a valid one the end record's stand.
    unsigned char locator[20];
    if (FEndOffset >= 20 && ReadAt(FFile, FEndOffset - 20, locator, sizeof locator) &&
        Get32(locator) == kZip64LocatorSignature) {
        unchangeable(kZip64Archive);
        const std::uint64_t at = Get64(locator + 8);
        unsigned char record[56];
        if (FEndOffset >= 20 + sizeof record && at <= FEndOffset - 20 - sizeof record &&
            ReadAt(FFile, at, record, sizeof record) && Get32(record) == kZip64EndSignature) {
            count = Get64(record + 24);
            totalCount = Get64(record + 32);
            size = Get64(record + 40);
            FCentralOffset = Get64(record + 48);
            directoryEnd = at;
        }
    }
    // A count of 65,535 may be just that (this writer makes such archives); a
    // 32-bit field at its maximum cannot be.
    if (Get32(end + 12) == kMax32 || Get32(end + 16) == kMax32)
        unchangeable(kZip64Archive);
    if (Get16(end + 4) != 0 || Get16(end + 6) != 0)
        unchangeable("spans several disks");
    if (count != totalCount)
        unchangeable(kMismatch);
    // The central directory must stand before its end record; an end record that
    // points elsewhere would have additions written far beyond the file. Each
    // header takes 46 bytes at least, so a count that cannot fit is not believed.
    if (FCentralOffset > directoryEnd || size > directoryEnd - FCentralOffset ||
        count > (directoryEnd - FCentralOffset) / 46)
        return;
    std::uint16_t commentLength = Get16(end + 20);
    FComment.assign(commentLength, '\0');
    if (commentLength && !ReadAt(FFile, FEndOffset + 22, FComment.data(), commentLength))
        FComment.clear();
    if (!ReadCentralDirectory(count, size))
        return;
    FIsZipFile = true;
    FNotArchive.clear();
    TFileWindow file(FFile);
    for (ZipEntry& e : FEntries) {
        if (!ReadLocalHeader(file, e.Central.LocalOffset, e.Local))
            FDamaged = true;
        else if (Zip64Block(e.Local.Extra))
            unchangeable(kZip64Archive);
    }
    if (FDamaged)
        unchangeable("has damaged entries");
}

bool ZipArchive::FindEndRecord(std::uint64_t length)
{
    // Backwards from where an end record without comment would start, in three
    // growing windows; a "P" that does not begin the signature rules out the three
    // bytes before it too.
    struct TWindow {
        std::int64_t Start;
        std::uint64_t Size;
    };
    const auto len = static_cast<std::int64_t>(length);
    const TWindow windows[] = {{len - 22, std::min<std::uint64_t>(256, length)}, {len - 278, 1024}, {len - 1046, 65536}};
    for (const TWindow& w : windows) {
        if (w.Size > length || w.Start < 0)
            return false;
        const std::int64_t low = std::max<std::int64_t>(0, w.Start - static_cast<std::int64_t>(w.Size) + 1);
        const std::int64_t high = std::min<std::int64_t>(w.Start + 3, len - 1);
        std::string buffer(static_cast<size_t>(high - low + 1), '\0');
        if (!ReadAt(FFile, static_cast<std::uint64_t>(low), buffer.data(), buffer.size()))
            return false;
        auto at = [&](std::int64_t pos) { return static_cast<unsigned char>(buffer[static_cast<size_t>(pos - low)]); };
        for (std::int64_t pos = w.Start; pos >= low;) {
            if (at(pos) != 'P') {
                --pos;
                continue;
            }
            if (pos + 3 <= high && at(pos + 1) == 'K' && at(pos + 2) == 5 && at(pos + 3) == 6) {
                FEndOffset = static_cast<std::uint64_t>(pos);
                return true;
            }
            pos -= 4;
        }
    }
    return false;
}

bool ZipArchive::ReadCentralDirectory(std::uint64_t count, std::uint64_t size)
{
    // As many headers as the end record counts, then any more that the directory's
    // size still covers: a writer that keeps the count modulo 65,536 leaves those.
    const std::uint64_t extent = FCentralOffset + size;
    std::uint64_t position = FCentralOffset;
    TFileWindow file(FFile);
    for (std::uint64_t i = 0; i < count || position < extent; ++i) {
        unsigned char fixed[46];
        if (!file.Read(position, fixed, sizeof fixed) || Get32(fixed) != kCentralSignature) {
            if (i < count)
                return false;
            break;
        }
        ZipEntry e;
        TCentralDirectoryFile& c = e.Central;
        c.VersionMadeBy = Get16(fixed + 4);
        c.VersionNeeded = Get16(fixed + 6);
        c.Flag = Get16(fixed + 8);
        c.Method = Get16(fixed + 10);
        c.Time = Get16(fixed + 12);
        c.Date = Get16(fixed + 14);
        c.Crc = Get32(fixed + 16);
        c.CompressedSize = Get32(fixed + 20);
        c.UncompressedSize = Get32(fixed + 24);
        c.Name.assign(Get16(fixed + 28), '\0');
        c.Extra.assign(Get16(fixed + 30), '\0');
        c.Comment.assign(Get16(fixed + 32), '\0');
        c.DiskStart = Get16(fixed + 34);
        c.InternalAttributes = Get16(fixed + 36);
        c.ExternalAttributes = Get32(fixed + 38);
        c.LocalOffset = Get32(fixed + 42);
        position += 46;
        for (std::string* part : {&c.Name, &c.Extra, &c.Comment}) {
            if (!part->empty() && !file.Read(position, part->data(), part->size()))
                return false;
            position += part->size();
        }
        if (c.CompressedSize == kMax32 || c.UncompressedSize == kMax32 || c.LocalOffset == kMax32 ||
            c.DiskStart == kMax16 || Zip64Block(c.Extra)) {
            if (FUnchangeable.empty())
                FUnchangeable = kZip64Archive;
            if (!ApplyZip64Block(c.Extra, {&c.UncompressedSize, &c.CompressedSize, &c.LocalOffset}, &c.DiskStart))
                FDamaged = true;
        }
        DeriveFlags(e);
        FEntries.push_back(std::move(e));
    }
    // More entries than counted, a directory of another size than the end record
    // gives, or a further header right after it: the end record does not describe
    // the directory, and a rewrite from it could lose entries.
    unsigned char next[4];
    if (FEntries.size() != count || position != extent ||
        (file.Read(position, next, sizeof next) && Get32(next) == kCentralSignature))
        if (FUnchangeable.empty())
            FUnchangeable = kMismatch;
    return true;
}

void ZipArchive::ScanLocalHeaders(std::uint64_t length)
{
    std::uint64_t position = 0;
    TFileWindow file(FFile);
    while (position + 30 <= length) {
        ZipEntry e;
        TLocalFile& l = e.Local;
        if (!ReadLocalHeader(file, position, l))
            break;
        // Without a directory an archive holds no more than its end record could
        // count; a file of more headers is refused before they cost much memory.
        if (FEntries.size() == kMaxEntries) {
            FEntries.clear();
            FNotArchive = "it has no ZIP directory, and more entries than an archive without one can hold";
            return;
        }
        CopyCommonFields(l, e.Central);
        e.Central.LocalOffset = position;
        DeriveFlags(e);
        const std::uint64_t next = position + e.LocalSize();
        FEntries.push_back(std::move(e));
        if (next > length)
            break;
        position = next;
    }
    if (!FEntries.empty()) {
        FIsZipFile = true;
        FDamaged = true;
        FUnchangeable = "has no readable directory";
        FNotArchive.clear();
        FCentralOffset = std::min(position, length);
        FEndOffset = FCentralOffset;
    }
}

void ZipArchive::CheckOpen() const
{
    if (FFile >= 0 && FIsZipFile)
        return;
    if (!FNotArchive.empty())
        throw EMarksError("The file \"" + FFileName.string() + "\" is not a ZIP archive: " + FNotArchive + ".");
    throw EMarksError("No ZIP archive is open.");
}

void ZipArchive::Refuse(const std::string& what) const
{
    throw EMarksError("The archive \"" + FFileName.string() + "\" " + what + ".");
}

void ZipArchive::CheckChangeable() const
{
    if (FReadOnly)
        Refuse("is open for reading only; it cannot be changed");
    if (!FUnchangeable.empty())
        Refuse(FUnchangeable + "; it cannot be changed in place");
    // Changes in place rewrite everything from the central directory to the end of
    // the file; bytes after the end record would be left as a second, stale end.
    struct stat st{};
    if (::fstat(FFile, &st) != 0)
        SystemError(errno);
    if (static_cast<std::uint64_t>(st.st_size) != FEndOffset + 22 + FComment.size())
        Refuse("does not end with its directory; it cannot be changed in place");
    // The same rewrite would overwrite the stored bytes of an entry that reaches
    // into or past the directory, and moving one of two entries that share bytes
    // would corrupt the other.
    std::vector<const ZipEntry*> byOffset;
    for (const ZipEntry& e : FEntries)
        byOffset.push_back(&e);
    std::sort(byOffset.begin(), byOffset.end(), [](const ZipEntry* a, const ZipEntry* b) {
        return a->Central.LocalOffset < b->Central.LocalOffset;
    });
    for (size_t i = 0; i < byOffset.size(); ++i) {
        const std::uint64_t end = DataOffset(*byOffset[i]) + byOffset[i]->Central.CompressedSize;
        if (end > FCentralOffset)
            Refuse("has entries after its directory; it cannot be changed in place");
        if (i + 1 < byOffset.size() && end > byOffset[i + 1]->Central.LocalOffset)
            Refuse("has overlapping entries; it cannot be changed in place");
    }
}

std::uint64_t ZipArchive::EntrySpan(std::size_t index) const
{
    // Up to the next local header or the directory, rather than from the sizes in
    // the header: a data descriptor may be 12 or 16 bytes long, and whatever lies
    // between two entries belongs to neither reader's view of the next one.
    const std::uint64_t start = FEntries[index].Central.LocalOffset;
    std::uint64_t end = FCentralOffset;
    for (const ZipEntry& e : FEntries)
        if (e.Central.LocalOffset > start)
            end = std::min(end, e.Central.LocalOffset);
    return end - start;
}

bool ZipArchive::IsUtf8Name(std::string_view name) const
{
    return Utf8Names && !IsAscii(name);
}

std::string ZipArchive::NormalizeName(std::string_view name) const
{
    std::string out(name);
    if (!StoreRelativePath) {
        size_t cut = out.find_last_of("\\:");
        if (cut != std::string::npos)
            out.erase(0, cut + 1);
    }
    for (char& c : out)
        if (c == '\\')
            c = '/';
    if (size_t drive = out.find(":/"); drive != std::string::npos)
        out.erase(0, drive + 2);
    if (size_t server = out.find("//"); server != std::string::npos) {
        out.erase(0, server + 2);
        for (int i = 0; i < 2; ++i) {
            size_t slash = out.find('/');
            out.erase(0, slash == std::string::npos ? out.size() : slash + 1);
        }
    }
    return out;
}

std::optional<std::size_t> ZipArchive::Find(std::string_view name) const
{
    const bool utf8 = IsUtf8Name(name);
    for (size_t i = 0; i < FEntries.size(); ++i)
        if (SameName(FEntries[i].Central, NormalizeName(FEntries[i].Central.Name), name, utf8))
            return i;
    return std::nullopt;
}

const ZipEntry* ZipArchive::AddFileAs(const std::filesystem::path& sourcePath, std::string_view entryName)
{
    CheckOpen();
    struct stat st{};
    if (::stat(sourcePath.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return nullptr;
    // Refused before the file is read into memory.
    CheckChangeable();
    if (static_cast<std::uint64_t>(st.st_size) >= kMax32)
        Refuse("cannot take the file \"" + sourcePath.string() + "\": it is 4 GB or larger, which needs ZIP64");
    std::string data = ReadWholeFile(sourcePath);
    return &AddData(entryName, data, DosDateTime(st.st_mtime), AttributesOf(st));
}

const ZipEntry& ZipArchive::AddData(std::string_view entryName, std::string_view data, std::uint32_t dosTime,
                                    std::uint32_t attributes)
{
    CheckOpen();
    if (data.size() >= kMax32)
        Refuse("cannot take an entry of 4 GB or more without ZIP64");
    return Add(entryName, dosTime, attributes, [&](ZipEntry& e) { return WriteStored(e, data); });
}

const ZipEntry& ZipArchive::AddStream(std::string_view entryName, std::uint32_t dosTime, std::uint32_t attributes,
                                      const std::function<void(const TByteWriter&)>& produce)
{
    return Add(entryName, dosTime, attributes, [&](ZipEntry& e) { return WriteStreamed(e, produce); });
}

const ZipEntry& ZipArchive::Add(std::string_view entryName, std::uint32_t dosTime, std::uint32_t attributes,
                                const TRecordWriter& writeRecord)
{
    CheckOpen();
    CheckChangeable();
    std::string name = NormalizeName(entryName);
    if (name.size() > kMax16)
        Refuse("cannot take an entry name longer than 65535 bytes");
    std::vector<std::string> folders;
    if (StoreFolders && StoreRelativePath)
        for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
            if (std::string folder = name.substr(0, slash + 1); !Find(folder))
                folders.push_back(std::move(folder));
    const std::optional<std::size_t> replaced = Find(name);
    if (FEntries.size() + folders.size() + (replaced ? 0 : 1) > kMaxEntries)
        Refuse("cannot hold more than 65535 entries");

    // An addition writes only at and after the directory's place, so the bytes
    // from there to the end put the file back as it was should any step fail.
    struct stat st{};
    if (::fstat(FFile, &st) != 0)
        SystemError(errno);
    const auto length = static_cast<std::uint64_t>(st.st_size);
    std::string tail(length - FCentralOffset, '\0');
    if (!ReadAt(FFile, FCentralOffset, tail.data(), tail.size()))
        SystemError(EIO);
    std::vector<ZipEntry> entries = FEntries;
    const std::uint64_t centralOffset = FCentralOffset;
    const std::uint64_t endOffset = FEndOffset;
    FChanged = true;
    std::uint64_t gapAt = 0;
    std::uint64_t gapSize = 0;
    try {
        const std::uint32_t now = DosDateTime(std::time(nullptr));
        for (std::string& folder : folders)
            Append(NewEntry(std::move(folder), now, kFolderAttribute), [&](ZipEntry& e) { return WriteStored(e, {}); },
                   std::nullopt);
        if (replaced) {
            gapAt = FEntries[*replaced].Central.LocalOffset;
            gapSize = EntrySpan(*replaced);
        }
        // The entry replaced leaves the directory only with this write, once the new
        // one is in the file; its bytes are then a gap no entry refers to.
        Append(NewEntry(std::move(name), dosTime, attributes), writeRecord, replaced);
    } catch (...) {
        try {
            WriteAt(FFile, centralOffset, tail);
            SetLength(FFile, length);
        } catch (const EMarksError&) {
        }
        FEntries = std::move(entries);
        FCentralOffset = centralOffset;
        FEndOffset = endOffset;
        throw;
    }
    if (replaced)
        CloseGap(gapAt, gapSize);
    return FEntries.back();
}

ZipEntry ZipArchive::NewEntry(std::string name, std::uint32_t dosTime, std::uint32_t attributes) const
{
    ZipEntry e;
    TCentralDirectoryFile& c = e.Central;
    c.Flag = IsUtf8Name(name) ? kUtf8NameFlag : 0;
    c.Time = static_cast<std::uint16_t>(dosTime & 0xFFFF);
    c.Date = static_cast<std::uint16_t>(dosTime >> 16);
    c.ExternalAttributes = attributes;
    c.LocalOffset = FCentralOffset;
    c.Name = std::move(name);
    return e;
}

void ZipArchive::Append(ZipEntry entry, const TRecordWriter& writeRecord, std::optional<std::size_t> replaced)
{
    const std::uint64_t end = writeRecord(entry);
    if (replaced)
        FEntries.erase(FEntries.begin() + static_cast<std::ptrdiff_t>(*replaced));
    FEntries.push_back(std::move(entry));
    WriteDirectoryAt(end);
}

void ZipArchive::CheckEntryFits(const ZipEntry& entry, std::uint64_t recordEnd) const
{
    if (entry.Central.UncompressedSize >= kMax32 || entry.Central.CompressedSize >= kMax32)
        Refuse("cannot take an entry of 4 GB or more without ZIP64");
    if (recordEnd >= kMax32)
        Refuse("cannot grow past 4 GB without ZIP64");
}

std::uint64_t ZipArchive::WriteStored(ZipEntry& e, std::string_view data)
{
    // Everything is prepared in memory before the file is touched.
    TCentralDirectoryFile& c = e.Central;
    c.Method = data.empty() ? 0 : 8;
    c.Crc = data.empty() ? 0 : static_cast<std::uint32_t>(crc32_z(0, reinterpret_cast<const Bytef*>(data.data()), data.size()));
    const std::string stored = data.empty() ? std::string() : Deflate(data, ZlibLevel(CompressionType));
    c.CompressedSize = stored.size();
    c.UncompressedSize = data.size();
    CopyCommonFields(c, e.Local);
    DeriveFlags(e);
    const std::uint64_t end = c.LocalOffset + 30 + c.Name.size() + stored.size();
    CheckEntryFits(e, end);
    // Room for the record and the directory after it is claimed before the old
    // directory is overwritten, so a full disk is found while that is still whole.
    std::uint64_t directory = e.CentralSize() + 22 + FComment.size();
    for (const ZipEntry& other : FEntries)
        directory += other.CentralSize();
    Reserve(FFile, end + directory);
    WriteAt(FFile, c.LocalOffset, LocalBytes(e.Local) + stored);
    return end;
}

std::uint64_t ZipArchive::WriteStreamed(ZipEntry& e, const std::function<void(const TByteWriter&)>& produce)
{
    // The stored bytes go where the directory stands as they are made, the local
    // header before them once their sizes are known. Input or output reaching the
    // format's limit is refused as soon as it does.
    TCentralDirectoryFile& c = e.Central;
    const std::uint64_t dataStart = c.LocalOffset + 30 + c.Name.size();
    TDeflateStream stream(ZlibLevel(CompressionType), [&, written = std::uint64_t(0)](std::string_view bytes) mutable {
        if (dataStart + written + bytes.size() >= kMax32)
            Refuse("cannot grow past 4 GB without ZIP64");
        WriteAt(FFile, dataStart + written, bytes);
        written += bytes.size();
    });
    produce([&](std::string_view bytes) {
        if (stream.InputSize() + bytes.size() >= kMax32)
            Refuse("cannot take an entry of 4 GB or more without ZIP64");
        stream.Put(bytes);
    });
    stream.Finish();
    const bool empty = stream.InputSize() == 0;
    c.Method = empty ? 0 : 8;
    c.Crc = empty ? 0 : stream.Crc();
    c.CompressedSize = empty ? 0 : stream.OutputSize();
    c.UncompressedSize = stream.InputSize();
    CopyCommonFields(c, e.Local);
    DeriveFlags(e);
    const std::uint64_t end = dataStart + c.CompressedSize;
    CheckEntryFits(e, end);
    WriteAt(FFile, c.LocalOffset, LocalBytes(e.Local));
    return end;
}

void ZipArchive::WriteDirectoryAt(std::uint64_t position)
{
    std::string directory;
    for (const ZipEntry& e : FEntries)
        directory += CentralBytes(e.Central);
    FCentralOffset = position;
    FEndOffset = position + directory.size();
    directory += EndRecord(static_cast<std::uint16_t>(FEntries.size()), static_cast<std::uint32_t>(FEndOffset - position),
                           static_cast<std::uint32_t>(FCentralOffset), static_cast<std::uint16_t>(FComment.size()));
    directory += FComment;
    FChanged = true;
    WriteAt(FFile, position, directory);
    // A directory shorter than the one it replaces must not leave the old end
    // record behind it: readers search from the end and would find that one.
    SetLength(FFile, FEndOffset + 22 + FComment.size());
}

void ZipArchive::RemoveEntry(size_t index)
{
    CheckOpen();
    if (index >= FEntries.size())
        return;
    CheckChangeable();
    FChanged = true;
    if (SaveMethod != FastSave || FEntries.size() == 1) {
        Rebuild(index);
        return;
    }
    const std::uint64_t at = FEntries[index].Central.LocalOffset;
    const std::uint64_t size = EntrySpan(index);
    FEntries.erase(FEntries.begin() + static_cast<std::ptrdiff_t>(index));
    CloseGap(at, size);
}

void ZipArchive::CloseGap(std::uint64_t at, std::uint64_t size)
{
    // Move the entries after the gap down over it, in pieces; the directory is
    // written anew after them.
    std::string chunk(1 << 20, '\0');
    for (std::uint64_t from = at + size, to = at; from < FCentralOffset;) {
        const auto n = static_cast<size_t>(std::min<std::uint64_t>(chunk.size(), FCentralOffset - from));
        if (!ReadAt(FFile, from, chunk.data(), n))
            SystemError(EIO);
        WriteAt(FFile, to, std::string_view(chunk.data(), n));
        from += n;
        to += n;
    }
    for (ZipEntry& e : FEntries)
        if (e.Central.LocalOffset > at)
            e.Central.LocalOffset -= size;
    WriteDirectoryAt(FCentralOffset - size);
}

void ZipArchive::Rebuild(size_t removed)
{
    std::string image;
    std::vector<ZipEntry> kept;
    for (size_t i = 0; i < FEntries.size(); ++i) {
        if (i == removed)
            continue;
        ZipEntry e = FEntries[i];
        std::string local(EntrySpan(i), '\0');
        if (!ReadAt(FFile, e.Central.LocalOffset, local.data(), local.size()))
            SystemError(EIO);
        e.Central.LocalOffset = image.size();
        image += local;
        kept.push_back(std::move(e));
    }
    const auto centralOffset = static_cast<std::uint32_t>(image.size());
    for (const ZipEntry& e : kept)
        image += CentralBytes(e.Central);
    image += EndRecord(static_cast<std::uint16_t>(kept.size()), static_cast<std::uint32_t>(image.size() - centralOffset),
                       centralOffset, static_cast<std::uint16_t>(FComment.size()));
    image += FComment;
    SetLength(FFile, image.size());
    WriteAt(FFile, 0, image);
    ReadDirectory();
}

void ZipArchive::CloseArchive()
{
    // A changed archive is on disk when this returns: a flush or a close that
    // fails (a full network file system may report it only here) is an error.
    int error = 0;
    if (FFile >= 0) {
        if (FChanged && ::fsync(FFile) != 0)
            error = errno;
        if (::close(FFile) != 0 && errno != EINTR && error == 0)
            error = errno;
    }
    FFile = -1;
    FEntries.clear();
    FIsZipFile = false;
    FReadOnly = false;
    FDamaged = false;
    FChanged = false;
    FUnchangeable.clear();
    FNotArchive.clear();
    FComment.clear();
    FCentralOffset = 0;
    FEndOffset = 0;
    if (error != 0)
        SystemError(error);
}
