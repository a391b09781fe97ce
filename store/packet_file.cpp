#include "packet_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "file_io.h"
#include "marks_error.h"

namespace {

// Large enough that reading costs few calls, small enough to stay in the caches.
constexpr std::size_t kPiece = 1 << 20;

} // namespace

TPacketFile::TPacketFile(const std::filesystem::path& path, TReadProgress progress)
    : FPath(path), FProgress(std::move(progress))
{
    FFd = OpenToRead(path, O_RDONLY, FOpened);
    try {
        if (S_ISDIR(FOpened.st_mode))
            Fail(EISDIR);
        FSize = static_cast<std::uint64_t>(FOpened.st_size);
        FWindow.reserve(kPiece);
        More(0);
    } catch (...) {
        ::close(FFd);
        throw;
    }
}

TPacketFile::~TPacketFile()
{
    if (FFd >= 0)
        ::close(FFd);
}

void TPacketFile::Fail(int error) const
{
    throw EMarksError("Cannot open file \"" + FPath.string() + "\". " + SystemErrorText(error));
}

bool TPacketFile::More(std::size_t keepFrom)
{
    FWindow.erase(0, keepFrom);
    if (FAtEnd)
        return false;
    const std::size_t start = FWindow.size();
    FWindow.resize(start + kPiece);
    std::size_t filled = start;
    while (filled < FWindow.size()) {
        ssize_t n = ::read(FFd, FWindow.data() + filled, FWindow.size() - filled);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int error = errno;
            FWindow.resize(filled);
            Fail(error);
        }
        if (n == 0) {
            FAtEnd = true;
            break;
        }
        filled += static_cast<std::size_t>(n);
    }
    FWindow.resize(filled);
    FDone += filled - start;
    if (FProgress)
        FProgress(FDone, FSize);
    return filled > start;
}

void TPacketFile::ReadAll()
{
    FWindow.reserve(FWindow.size() + (FSize > FDone ? FSize - FDone : 0) + 1);
    while (More(0)) {
    }
}

void TPacketFile::CheckUnchanged() const
{
    struct stat now{};
    const bool failed = ::fstat(FFd, &now) != 0;
    // A rewrite of the same size whose modification time was put back (cp -p,
    // touch -r, rsync -t --inplace) still moves the change time. So does losing a
    // link, when the file is removed or another is renamed over it, which leaves
    // its bytes as they were: the change time counts while the links stay.
    TFileIdentity was = FileIdentityOf(FOpened);
    if (now.st_nlink != FOpened.st_nlink)
        was.Changed = now.st_ctim;
    const bool changed = failed || FileIdentityOf(now) != was || (FAtEnd && FDone != FSize);
    if (changed)
        throw EMarksError("Cannot open file \"" + FPath.string() +
                          "\". The file was changed by another program while it was being read.");
}
