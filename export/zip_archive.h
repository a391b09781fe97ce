#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "file_io.h"

// A ZIP archive writer that works in place on the open file: every addition puts
// the new local entry where the central directory stood, then writes the whole
// central directory and the end record after it. Single disk, no encryption, no
// data descriptors, no extra fields, no comments, no ZIP64.
//
// It reads what other tools write, ZIP64 archives included (their end record and
// extra fields, more than 65,535 entries), but changes an archive only when it is
// sure to keep every entry: one that is ZIP64, spans disks, has damaged entries or
// a directory that disagrees with its end record, or a change that would pass the
// format's limits, is refused with the reason, and the file stays byte for byte as
// it was. A change that fails half way puts the old directory back.

enum TZipSaveMethod { FastSave, RebuildAll };
enum TZipCompressionType { ctNormal, ctMaximum, ctFast, ctSuperFast, ctNone, ctUnknown };

// The 46 fixed bytes of a central directory header, with its variable parts. The
// sizes, the offset and the disk hold the values in force: those of the ZIP64
// extra field where the header marks them as kept there.
struct TCentralDirectoryFile {
    std::uint16_t VersionMadeBy = 20;
    std::uint16_t VersionNeeded = 20;
    std::uint16_t Flag = 0;
    std::uint16_t Method = 0;
    std::uint16_t Time = 0;
    std::uint16_t Date = 0;
    std::uint32_t Crc = 0;
    std::uint64_t CompressedSize = 0;
    std::uint64_t UncompressedSize = 0;
    std::uint32_t DiskStart = 0;
    std::uint16_t InternalAttributes = 0;
    std::uint32_t ExternalAttributes = 0;
    std::uint64_t LocalOffset = 0;
    std::string Name;
    std::string Extra;
    std::string Comment;
};

// The 30 fixed bytes of a local file header, with its variable parts (the sizes
// from its ZIP64 extra field where it keeps them there).
struct TLocalFile {
    std::uint32_t Signature = 0x04034B50;
    std::uint16_t VersionNeeded = 20;
    std::uint16_t Flag = 0;
    std::uint16_t Method = 0;
    std::uint16_t Time = 0;
    std::uint16_t Date = 0;
    std::uint32_t Crc = 0;
    std::uint64_t CompressedSize = 0;
    std::uint64_t UncompressedSize = 0;
    std::string Name;
    std::string Extra;
};

struct ZipEntry {
    TCentralDirectoryFile Central;
    TLocalFile Local;
    bool IsFolder = false;
    bool IsEncrypted = false;
    TZipCompressionType Compression = ctUnknown;

    std::uint64_t LocalSize() const;
    std::uint64_t CentralSize() const;
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
    // held whole.
    const ZipEntry& AddStream(std::string_view entryName, std::uint32_t dosTime, std::uint32_t attributes,
                              const std::function<void(const TByteWriter&)>& produce);
    // Removes the entry at that position: in place, or by a rebuild when none
    // remains or the save method asks for it.
    void RemoveEntry(std::size_t index);
    // Empties the directory and closes the file; an archive that was changed is
    // flushed to disk first, and a failure to flush or close it is raised (after
    // the component is closed).
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
    // Writes an entry's local record with its stored data where the directory
    // stands, completing the entry's sizes; returns where the record ends.
    using TRecordWriter = std::function<std::uint64_t(ZipEntry&)>;

    int FFile = -1;
    std::filesystem::path FFileName;
    bool FIsZipFile = false;
    bool FReadOnly = false;
    bool FDamaged = false;
    bool FChanged = false;      // written since it was opened: flushed on closing
    std::string FUnchangeable;  // why the archive must not be changed; empty when it may
    std::string FNotArchive;    // why the file last opened is no archive
    std::vector<ZipEntry> FEntries;
    std::uint64_t FCentralOffset = 0; // from the end record
    std::uint64_t FEndOffset = 0;     // where the end record stands
    std::string FComment;

    void Open(const std::filesystem::path& path, bool forReading);
    void ReadDirectory();
    bool FindEndRecord(std::uint64_t length);
    bool ReadCentralDirectory(std::uint64_t count, std::uint64_t size);
    void ScanLocalHeaders(std::uint64_t length);
    void WriteDirectoryAt(std::uint64_t position);
    void CheckOpen() const;
    void CheckChangeable() const;
    [[noreturn]] void Refuse(const std::string& what) const;
    // The bytes the entry's local record occupies in the file.
    std::uint64_t EntrySpan(std::size_t index) const;
    std::optional<std::size_t> Find(std::string_view name) const;
    // An entry of that name, time and attributes at the directory's place.
    ZipEntry NewEntry(std::string name, std::uint32_t dosTime, std::uint32_t attributes) const;
    // Adds an entry (after the folder entries its name needs), replacing one of
    // the same name only once the new one is written; a failure puts the archive
    // back as it was.
    const ZipEntry& Add(std::string_view entryName, std::uint32_t dosTime, std::uint32_t attributes,
                        const TRecordWriter& writeRecord);
    void Append(ZipEntry entry, const TRecordWriter& writeRecord, std::optional<std::size_t> replaced);
    std::uint64_t WriteStored(ZipEntry& entry, std::string_view data);
    std::uint64_t WriteStreamed(ZipEntry& entry, const std::function<void(const TByteWriter&)>& produce);
    void CheckEntryFits(const ZipEntry& entry, std::uint64_t recordEnd) const;
    // Moves everything between the end of a gap and the directory down over the gap.
    void CloseGap(std::uint64_t at, std::uint64_t size);
    void Rebuild(std::size_t removed);
};

// The MS-DOS time stamp (time in the low 16 bits, date in the high 16) of a local
// time; 0 when the year is before 1980 or after 2107.
std::uint32_t DosDateTime(std::time_t time);
