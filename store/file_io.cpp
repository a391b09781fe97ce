#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#include "ascii.h"
#include "marks_error.h"

namespace {

class TFileDescriptor {
public:
    explicit TFileDescriptor(int fd) : FFd(fd) {}
    ~TFileDescriptor()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    int Get() const { return FFd; }
    int Release()
    {
        int fd = FFd;
        FFd = -1;
        return fd;
    }

private:
    int FFd;
};

[[noreturn]] void CannotCreate(const std::filesystem::path& path, int error)
{
    throw EMarksError("Cannot create file \"" + path.string() + "\". " + SystemErrorText(error));
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace

bool TFileIdentity::operator==(const TFileIdentity& other) const
{
    auto same = [](const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; };
    return Exists == other.Exists && Device == other.Device && Inode == other.Inode && Size == other.Size &&
           same(Modified, other.Modified) && same(Changed, other.Changed);
}

TFileIdentity FileIdentityOf(const struct stat& st)
{
    return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

TFileIdentity FileIdentityOf(const std::filesystem::path& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? FileIdentityOf(st) : TFileIdentity{};
}

std::string SystemErrorText(int error)
{
    std::string text = std::strerror(error);
    if (!text.empty() && text.back() != '.')
        text.push_back('.');
    return text;
}

int OpenToRead(const std::filesystem::path& path, int accessFlags, struct stat& st, const std::string& shown)
{
    const std::string name = shown.empty() ? path.string() : shown;
    TFileDescriptor fd(::open(path.c_str(), accessFlags | O_CLOEXEC | O_NONBLOCK));
    int flags = -1;
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0)
        throw EMarksError("Cannot open file \"" + name + "\". " + SystemErrorText(errno));
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        throw EMarksError("Cannot open file \"" + name + "\". It is not a regular file.");
    if ((flags = ::fcntl(fd.Get(), F_GETFL)) < 0 || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        throw EMarksError("Cannot open file \"" + name + "\". " + SystemErrorText(errno));
    return fd.Release();
}

std::string ReadWholeFile(const std::filesystem::path& path)
{
    struct stat st{};
    TFileDescriptor fd(OpenToRead(path, O_RDONLY, st));
    int error = S_ISDIR(st.st_mode) ? EISDIR : 0;
    std::string bytes;
    if (error == 0) {
        bytes.reserve(static_cast<size_t>(st.st_size));
        char buffer[1 << 16];
        for (;;) {
            ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = errno;
                break;
            }
            if (n == 0)
                break;
            bytes.append(buffer, static_cast<size_t>(n));
        }
    }
    if (error != 0)
        throw EMarksError("Cannot open file \"" + path.string() + "\". " + SystemErrorText(error));
    return bytes;
}

namespace {

bool WriteAllAt(int fd, std::string_view bytes)
{
    off_t offset = 0;
    while (!bytes.empty()) {
        ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
        offset += n;
    }
    return true;
}

// The file a write to path lands in: symbolic links are followed to the file they
// name (also one that does not exist yet), so the links themselves stay.
std::filesystem::path FollowLinks(const std::filesystem::path& path)
{
    std::filesystem::path file = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!std::filesystem::is_symlink(file, error))
            return file;
        std::filesystem::path link = std::filesystem::read_symlink(file, error);
        if (error)
            CannotCreate(path, error.value());
        file = link.is_absolute() ? link : file.parent_path() / link;
    }
    CannotCreate(path, ELOOP);
}

// Refuses an existing file that is write-protected; shown is the path the caller
// named. Permission bits without any write bit protect a file even from a user the
// system would let write it (root).
void CheckNotProtected(const std::filesystem::path& shown, const std::filesystem::path& file)
{
    struct stat st{};
    if (::stat(file.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode))
        CannotCreate(shown, EISDIR);
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        CannotCreate(shown, EACCES);
    if (::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0)
        CannotCreate(shown, errno);
}

// One file of a write: the new bytes wait in a temporary file beside the target,
// or, where the target's folder takes no new file, are written over the target
// itself when the write is committed.
struct TPendingWrite {
    std::filesystem::path Shown;  // the path as the caller named it, for messages
    std::filesystem::path Target; // the file it resolves to
    std::filesystem::path Temp;   // empty: write in place
    std::string_view Bytes;
    std::string Gathered; // for a write in place of content made piece by piece

    std::string_view Content() const { return Gathered.empty() ? Bytes : std::string_view(Gathered); }
    void Discard() const
    {
        if (!Temp.empty())
            ::unlink(Temp.c_str());
    }
};

// Makes a new file for a write in folder, named after name (".name.NNNNNN.tmp",
// hidden), never one that exists already; -1 with errno set when there is none.
int CreateTempFile(const std::filesystem::path& folder, const std::string& name, std::filesystem::path& temp)
{
    std::random_device random;
    int fd = -1;
    for (int attempt = 0; attempt < 16; ++attempt) {
        temp = folder / ("." + name + "." + std::to_string(random() % 1000000) + ".tmp");
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            break;
    }
    return fd;
}

// How the new content reaches the temporary file: fill writes it, to the
// descriptor or by the path, and returns the errno of a failed write (0 when none);
// gather makes it in memory instead, for a write in place.
using TFill = std::function<int(int fd, const std::filesystem::path& temp)>;
using TGather = std::function<void(std::string& content)>;

// Resolves the target through its links and refuses it when protected; then fills
// a new temporary file beside it, flushed to disk and with the target's
// permissions. When the folder takes no new file but the target exists, the
// content is gathered and the write left to be done in place.
TPendingWrite PrepareWrite(const std::filesystem::path& path, const TFill& fill, const TGather& gather)
{
    TPendingWrite w{path, FollowLinks(path), {}, {}, {}};
    CheckNotProtected(path, w.Target);
    const std::filesystem::path folder =
        w.Target.has_parent_path() ? w.Target.parent_path() : std::filesystem::path(".");
    struct stat target{};
    const bool exists = ::stat(w.Target.c_str(), &target) == 0;

    const int raw = CreateTempFile(folder, w.Target.filename().string(), w.Temp);
    if (raw < 0) {
        int error = errno;
        w.Temp.clear();
        // A writable file in a folder that cannot be written is still saved, in place.
        if (exists && S_ISREG(target.st_mode) && (error == EACCES || error == EPERM)) {
            gather(w.Gathered);
            return w;
        }
        CannotCreate(path, error);
    }
    TFileDescriptor fd(raw);

    int error = 0;
    try {
        error = fill(fd.Get(), w.Temp);
    } catch (...) {
        w.Discard();
        throw;
    }
    // What the temporary name holds must still be the file made here before it is
    // renamed over the target.
    struct stat made{};
    struct stat named{};
    if (error == 0 && (::fstat(fd.Get(), &made) != 0 || ::lstat(w.Temp.c_str(), &named) != 0))
        error = errno;
    if (error == 0 && (made.st_dev != named.st_dev || made.st_ino != named.st_ino))
        error = EEXIST;
    if (error == 0 && ::fsync(fd.Get()) != 0)
        error = errno;
    if (error == 0 && exists && ::fchmod(fd.Get(), target.st_mode & 07777) != 0)
        error = errno;
    if (::close(fd.Release()) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        w.Discard();
        CannotCreate(path, error);
    }
    return w;
}

TPendingWrite PrepareWrite(const std::filesystem::path& path, const std::function<void(const TByteWriter&)>& produce)
{
    return PrepareWrite(
        path,
        [&](int fd, const std::filesystem::path&) {
            // After a failed write the rest is not written; the error is reported.
            int error = 0;
            produce([&](std::string_view bytes) {
                if (error == 0 && !WriteAll(fd, bytes))
                    error = errno;
            });
            return error;
        },
        [&](std::string& content) { produce([&](std::string_view bytes) { content.append(bytes); }); });
}

// Overwrites the target with the new bytes. Its old bytes stay in memory until the
// new ones are on disk and are written back should any step fail, so a failure
// leaves the file as it was. Room for a longer content is claimed before the first
// byte is overwritten, so a full disk is found while the old content is still whole.
void WriteInPlace(const TPendingWrite& w)
{
    const std::string_view bytes = w.Content();
    std::string old;
    try {
        old = ReadWholeFile(w.Target);
    } catch (const EMarksError&) {
        CannotCreate(w.Shown, EACCES);
    }
    TFileDescriptor fd(::open(w.Target.c_str(), O_WRONLY | O_CLOEXEC));
    if (fd.Get() < 0)
        CannotCreate(w.Shown, errno);
    int error = 0;
    if (bytes.size() > old.size()) {
        int r = ::posix_fallocate(fd.Get(), 0, static_cast<off_t>(bytes.size()));
        if (r != 0 && r != EOPNOTSUPP && r != EINVAL)
            error = r;
    }
    if (error == 0 && (!WriteAllAt(fd.Get(), bytes) || ::ftruncate(fd.Get(), static_cast<off_t>(bytes.size())) != 0 ||
                       ::fsync(fd.Get()) != 0))
        error = errno;
    if (error != 0) {
        WriteAllAt(fd.Get(), old);
        [[maybe_unused]] int ignored = ::ftruncate(fd.Get(), static_cast<off_t>(old.size()));
        ::fsync(fd.Get());
        CannotCreate(w.Shown, error);
    }
    if (::close(fd.Release()) != 0)
        CannotCreate(w.Shown, errno);
}

// Puts the new bytes in place: the temporary file is renamed over the target (a
// link to it stays a link), or the target is overwritten.
void CommitWrite(const TPendingWrite& w)
{
    if (w.Temp.empty()) {
        WriteInPlace(w);
        return;
    }
    if (::rename(w.Temp.c_str(), w.Target.c_str()) != 0) {
        int error = errno;
        w.Discard();
        CannotCreate(w.Shown, error);
    }
}

// Flushes the folder of a file renamed into place: until then the rename itself
// may be lost. Only a failure to write is an error; a folder that cannot be opened,
// or a file system that flushes no folders, leaves it as it is.
void SyncFolder(const TPendingWrite& w)
{
    if (w.Temp.empty())
        return;
    const std::filesystem::path folder =
        w.Target.has_parent_path() ? w.Target.parent_path() : std::filesystem::path(".");
    TFileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0 && ::fsync(fd.Get()) != 0 && (errno == EIO || errno == ENOSPC || errno == EDQUOT))
        CannotCreate(w.Shown, errno);
}

TPendingWrite PrepareWrite(const std::filesystem::path& path, std::string_view bytes)
{
    TPendingWrite w = PrepareWrite(path, [&](const TByteWriter& write) { write(bytes); });
    if (w.Temp.empty()) {
        // In place: the caller's bytes rather than a gathered copy.
        std::string().swap(w.Gathered);
        w.Bytes = bytes;
    }
    return w;
}

} // namespace

void CheckNotWriteProtected(const std::filesystem::path& path)
{
    CheckNotProtected(path, FollowLinks(path));
}

void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes)
{
    const TPendingWrite w = PrepareWrite(path, bytes);
    CommitWrite(w);
    SyncFolder(w);
}

void WriteFileAtomically(const std::filesystem::path& path, const std::function<void(const TByteWriter&)>& produce)
{
    const TPendingWrite w = PrepareWrite(path, produce);
    CommitWrite(w);
    SyncFolder(w);
}

void BuildFileAtomically(const std::filesystem::path& path, const std::function<void(const std::filesystem::path&)>& build)
{
    const TPendingWrite w = PrepareWrite(
        path,
        [&](int, const std::filesystem::path& temp) {
            build(temp);
            return 0;
        },
        [&](std::string& content) {
            // Built aside, in a file of its own, and read back to be written in place.
            std::filesystem::path temp;
            TFileDescriptor fd(CreateTempFile(std::filesystem::temp_directory_path(), path.filename().string(), temp));
            if (fd.Get() < 0)
                CannotCreate(path, errno);
            struct TRemoved {
                const std::filesystem::path& Path;
                ~TRemoved() { ::unlink(Path.c_str()); }
            } removed{temp};
            build(temp);
            content = ReadWholeFile(temp);
        });
    CommitWrite(w);
    SyncFolder(w);
}

void WriteFilesTogether(const std::vector<TFileWrite>& files, const std::vector<std::filesystem::path>& restoreFrom)
{
    std::vector<TPendingWrite> pending;
    try {
        for (const TFileWrite& f : files)
            pending.push_back(PrepareWrite(f.Path, f.Bytes));
    } catch (...) {
        for (const TPendingWrite& w : pending)
            w.Discard();
        throw;
    }
    for (size_t i = 0; i < pending.size(); ++i) {
        try {
            CommitWrite(pending[i]);
        } catch (const EMarksError&) {
            for (size_t k = i + 1; k < pending.size(); ++k)
                pending[k].Discard();
            for (size_t k = 0; k < i && k < restoreFrom.size(); ++k)
                WriteFileAtomically(files[k].Path, ReadWholeFile(restoreFrom[k]));
            throw;
        }
    }
    // Only once every file is in place, so that a failure here leaves them together.
    for (const TPendingWrite& w : pending)
        SyncFolder(w);
}

std::filesystem::path FindFileNoCase(const std::filesystem::path& folder, std::string_view name)
{
    if (name.empty())
        return {};
    std::error_code error;
    if (std::filesystem::is_regular_file(folder / name, error))
        return folder / name;
    std::vector<std::filesystem::path> matches;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (EqualNoCase(entry.path().filename().string(), name) && entry.is_regular_file(error))
            matches.push_back(entry.path());
    // Byte order of the names, so the choice does not depend on the file system.
    std::sort(matches.begin(), matches.end());
    return matches.empty() ? std::filesystem::path() : matches.front();
}
