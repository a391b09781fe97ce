#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Whole-file reads and writes with the program's messages.

// Throws "Cannot open file \"%s\". %s" when the file cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);

// Opens a file to read from (accessFlags O_RDONLY, or O_RDWR) without waiting on
// it: a FIFO with no writer, or a device, would keep the open or the first read
// waiting for ever. Anything but a regular file or a folder (which callers refuse
// in their own words) is refused with "Cannot open file \"%s\". It is not a
// regular file."; other failures throw "Cannot open file \"%s\". %s", shown being
// the name in the message (the path when empty). The descriptor returned is
// close-on-exec and its reads wait as usual; st is its status.
int OpenToRead(const std::filesystem::path& path, int accessFlags, struct stat& st, const std::string& shown = {});

// Writes the bytes to a new temporary file in the target's folder, flushes it to
// disk and renames it over the target, keeping the target's permissions, then
// flushes the folder so that the rename lasts too. A symbolic link is written
// through: the file it names changes and the link stays. A hard link is not: the
// name written gets the new file, the target's other names keep the old content
// (writing in place to keep them would risk a half-written file). A target that is
// write-protected (no write bit, or not writable for this user) is refused. Where
// the folder takes no temporary file but the target is writable, the target is
// overwritten in place. A failure throws "Cannot create file \"%s\". %s" and leaves
// the target as it was.
void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// The same for content made piece by piece: produce hands each piece to the writer
// it is given, so that large content never needs one string of its own. (Only a
// write in place, the rare case, gathers the pieces first.)
using TByteWriter = std::function<void(std::string_view bytes)>;
void WriteFileAtomically(const std::filesystem::path& path, const std::function<void(const TByteWriter&)>& produce);

// The same for a file its maker builds at a path rather than as a stream of bytes
// (an archive written in place): build is given the path of a new, empty file made
// for this write alone, and fills it. Where the target's folder takes no new file,
// it is built in the system's temporary folder and written over the target.
void BuildFileAtomically(const std::filesystem::path& path, const std::function<void(const std::filesystem::path&)>& build);

// Throws the "Cannot create file" message when path names an existing file (through
// any links) that is write-protected or a folder; for writers that build their file
// elsewhere and must refuse before any work.
void CheckNotWriteProtected(const std::filesystem::path& path);

struct TFileWrite {
    std::filesystem::path Path;
    std::string_view Bytes;
};

// Replaces several files as one step, with the rules of WriteFileAtomically: every
// file is written aside first (a protected one refuses the whole step), and only
// when all are written are they put in place. Should that fail for one, the files
// already replaced are restored from the matching restoreFrom copies. A failure
// throws the "Cannot create file" message of the file concerned.
void WriteFilesTogether(const std::vector<TFileWrite>& files, const std::vector<std::filesystem::path>& restoreFrom);


// The file in folder whose name equals name without regard to letter case (an exact
// match first); empty when there is none.
std::filesystem::path FindFileNoCase(const std::filesystem::path& folder, std::string_view name);

// What tells one state of a file from another: a write changes its size or its
// times (the change time also when the modification time is put back, which no
// program can prevent), a file renamed over it has another inode.
struct TFileIdentity {
    bool Exists = false;
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = 0;
    timespec Modified{};
    timespec Changed{};

    bool operator==(const TFileIdentity& other) const;
};
TFileIdentity FileIdentityOf(const struct stat& st);
// Of the file a path names, through links; a missing file has none.
TFileIdentity FileIdentityOf(const std::filesystem::path& path);

// The system's text for errno, for messages.
std::string SystemErrorText(int error);
