#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "file_io.h"

// A ZIP archive writer that works in place on the open file: every addition puts
// the new local entry where the central directory stood, then writes the whole
// central directory and the end record after it. Single disk, no encryption, no
// data descriptors, no extra fields, no comments, no ZIP64.

enum TZipSaveMethod { FastSave, RebuildAll };
enum TZipCompressionType { ctNormal, ctMaximum, ctFast, ctSuperFast, ctNone, ctUnknown };

// The 46 fixed bytes of a central directory header, with its variable parts.
struct TCentralDirectoryFile {
    std::uint16_t VersionMadeBy = 20;
    std::uint16_t VersionNeeded = 20;
    std::uint16_t Flag = 0;
    std::uint16_t Method = 0;
    std::uint16_t Time = 0;
    std::uint16_t Date = 0;
    std::uint32_t Crc = 0;
    std::uint32_t CompressedSize = 0;
    std::uint32_t UncompressedSize = 0;
    std::uint16_t DiskStart = 0;
    std::uint16_t InternalAttributes = 0;
    std::uint32_t ExternalAttributes = 0;
    std::uint32_t LocalOffset = 0;
    std::string Name;
    std::string Extra;
    std::string Comment;
};

// The 30 fixed bytes of a local file header, with its variable parts.
struct TLocalFile {
    std::uint32_t Signature = 0x04034B50;
    std::uint16_t VersionNeeded = 20;
    std::uint16_t Flag = 0;
    std::uint16_t Method = 0;
    std::uint16_t Time = 0;
    std::uint16_t Date = 0;
    std::uint32_t Crc = 0;
    std::uint32_t CompressedSize = 0;
    std::uint32_t UncompressedSize = 0;
    std::string Name;
    std::string Extra;
};

struct ZipEntry {
    TCentralDirectoryFile Central;
    TLocalFile Local;
    bool IsFolder = false;
    bool IsEncrypted = false;
    TZipCompressionType Compression = ctUnknown;

    std::uint32_t LocalSize() const;
    std::uint32_t CentralSize() const;
};

class ZipArchive {
public:
    TZipSaveMethod SaveMethod = FastSave;
    TZipCompressionType CompressionType = ctMaximum;
    bool StoreRelativePath = true;
    bool StoreFolders = true;
    // Entry names are UTF-8: a name with a byte above 0x7F gets general purpose
    // flag bit 11, so readers decode it as UTF-8 rather than as code page 437.
    // ASCII names are stored the same either way.
    bool Utf8Names = false;

    ZipArchive() = default;
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Creates or truncates the file and writes an empty archive (a bare end record).
    static void CreateEmptyArchive(const std::filesystem::path& path);
    // Closes any open archive, then opens the file and reads its directory.
    void OpenArchive(const std::filesystem::path& path);
    // The same without write access, for archives that are only read: the file may
    // then be write-protected or on a read-only file system.
    void OpenArchiveForReading(const std::filesystem::path& path);
    // Adds the file under the entry name; nullptr, and nothing added, when the
    // source is not an existing file.
    const ZipEntry* AddFileAs(const std::filesystem::path& sourcePath, std::string_view entryName);
    // Adds bytes under a name with the given MS-DOS time stamp and attributes.
    const ZipEntry& AddData(std::string_view entryName, std::string_view data, std::uint32_t dosTime,
                            std::uint32_t attributes);
    // Adds the bytes the producer writes, deflated as they come, so they are never
    // held whole; a failure leaves the archive as it was.
    const ZipEntry& AddStream(std::string_view entryName, std::uint32_t dosTime, std::uint32_t attributes,
                              const std::function<void(const TByteWriter&)>& produce);
    // Removes the entry at that position: in place, or by a rebuild when none
    // remains or the save method asks for it.
    void RemoveEntry(std::size_t index);
    void CloseArchive();

    bool IsZipFile() const { return FIsZipFile; }
    bool ReadOnly() const { return FReadOnly; }
    bool HasDamagedEntries() const { return FDamaged; }
    const std::filesystem::path& FileName() const { return FFileName; }
    const std::vector<ZipEntry>& Entries() const { return FEntries; }
    // Where the entry's stored (compressed) bytes begin: after its local header.
    static std::uint64_t DataOffset(const ZipEntry& entry);

    // The entry name as it is stored: "/" separators, no drive or server prefix,
    // and only the file name when relative paths are not stored.
    std::string NormalizeName(std::string_view name) const;
    // Whether a new entry of that name is flagged as UTF-8.
    bool IsUtf8Name(std::string_view name) const;

private:
    int FFile = -1;
    std::filesystem::path FFileName;
    bool FIsZipFile = false;
    bool FReadOnly = false;
    bool FDamaged = false;
    std::vector<ZipEntry> FEntries;
    std::uint32_t FCentralOffset = 0; // from the end record
    std::uint64_t FEndOffset = 0;     // where the end record stands
    std::string FComment;

    void Open(const std::filesystem::path& path, bool forReading);
    void ReadDirectory();
    bool FindEndRecord(std::uint64_t length);
    bool ReadCentralDirectory(std::uint16_t count);
    void ScanLocalHeaders(std::uint64_t length);
    void WriteDirectoryAt(std::uint64_t position);
    void CheckOpen() const;
    void CheckWritable() const;
    // The bytes the entry's local record occupies in the file.
    std::uint32_t EntrySpan(std::size_t index) const;
    // The normalised name of a new entry, once its folders are added and an entry
    // of the same name is removed.
    std::string PrepareEntry(std::string_view entryName);
    // An entry of that name, time and attributes at the directory's place.
    ZipEntry NewEntry(std::string name, std::uint32_t dosTime, std::uint32_t attributes) const;
    const ZipEntry& AddEntry(std::string name, std::string_view data, std::uint32_t dosTime, std::uint32_t attributes);
    void Rebuild(std::size_t removed);
};

// The MS-DOS time stamp (time in the low 16 bits, date in the high 16) of a local
// time; 0 when the year is before 1980 or after 2107.
std::uint32_t DosDateTime(std::time_t time);
