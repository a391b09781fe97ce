#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Whole-file reads and writes with the program's messages.

// Throws "Cannot open file \"%s\". %s" when the file cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);

// Writes the bytes to a temporary file in the target's folder, flushes it to disk
// and renames it over the target, keeping the target's permissions. A symbolic link
// is written through: the file it names changes and the link stays. A target that
// is write-protected (no write bit, or not writable for this user) is refused. Where
// the folder takes no temporary file but the target is writable, the target is
// overwritten in place. A failure throws "Cannot create file \"%s\". %s" and leaves
// the target as it was.
void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

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

// A path in the target's folder that names no file yet, for a temporary file
// (".name.NNNNNN.tmp", hidden beside the target).
std::filesystem::path UniqueTempPath(const std::filesystem::path& target);

// The file in folder whose name equals name without regard to letter case (an exact
// match first); empty when there is none.
std::filesystem::path FindFileNoCase(const std::filesystem::path& folder, std::string_view name);

// The system's text for errno, for messages.
std::string SystemErrorText(int error);
