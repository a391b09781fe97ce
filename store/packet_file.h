#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "data_packet.h"

// Reports how far a file has been read: bytes so far and the size it had when opened.
using TReadProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// A table file read piece by piece into one reused window, so that a large table
// never has its whole file in memory at once. Another program may truncate or
// rewrite the file meanwhile; that is noticed by the size, the modification and
// change times, the inode and the device of the open file and reported as an error
// instead of reading a mix of two files. (A file renamed over it leaves the open
// file as it was, which is read whole.)
class TPacketFile {
public:
    // Opens the file and reads its first piece. Throws "Cannot open file ...".
    explicit TPacketFile(const std::filesystem::path& path, TReadProgress progress = {});
    ~TPacketFile();
    TPacketFile(const TPacketFile&) = delete;
    TPacketFile& operator=(const TPacketFile&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    bool Empty() const { return FSize == 0 && FWindow.empty(); }

    // The bytes read and not yet dropped.
    const std::string& Window() const { return FWindow; }
    // Drops the window's bytes before keepFrom and appends the next piece of the
    // file; false at the end of the file. Either way views into the window become
    // invalid: the window may have moved.
    bool More(std::size_t keepFrom);
    bool AtEnd() const { return FAtEnd; }
    // Reads the rest of the file into the window.
    void ReadAll();

    // Throws when the file was changed by another program since it was opened.
    void CheckUnchanged() const;

private:
    std::filesystem::path FPath;
    int FFd = -1;
    struct stat FOpened{};
    std::uint64_t FSize = 0;
    std::uint64_t FDone = 0;
    bool FAtEnd = false;
    std::string FWindow;
    TReadProgress FProgress;

    [[noreturn]] void Fail(int error) const;
};

// Reads the packet of a file as ReadPacket reads bytes. Throws EMarksError with the
// packet message, or the file's own message when it cannot be read or changes while
// being read.
TPacketContent ReadPacket(TPacketFile& file);
// The same, handing the rows to a sink as ReadPacket of bytes does.
TPacketContent ReadPacket(TPacketFile& file, TRowSink& rows);
TPacketContent ReadPacketFile(const std::filesystem::path& path, const TReadProgress& progress = {});
