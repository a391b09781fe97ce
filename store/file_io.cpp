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

std::string SystemErrorText(int error)
{
    std::string text = std::strerror(error);
    if (!text.empty() && text.back() != '.')
        text.push_back('.');
    return text;
}

std::string ReadWholeFile(const std::filesystem::path& path)
{
    TFileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st{};
    int error = 0;
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0)
        error = errno;
    else if (S_ISDIR(st.st_mode))
        error = EISDIR;
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

// Writes what produce makes to a new temporary file beside the target, flushed to
// disk and with the target's permissions; returns its path.
std::filesystem::path WriteTempBeside(const std::filesystem::path& path,
                                      const std::function<void(const TByteWriter&)>& produce)
{
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    struct stat target{};
    bool exists = ::stat(path.c_str(), &target) == 0;
    if (exists && S_ISDIR(target.st_mode))
        CannotCreate(path, EISDIR);

    std::random_device random;
    std::filesystem::path temp;
    int raw = -1;
    for (int attempt = 0; attempt < 16; ++attempt) {
        temp = folder / ("." + path.filename().string() + "." + std::to_string(random() % 1000000) + ".tmp");
        raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (raw >= 0 || errno != EEXIST)
            break;
    }
    if (raw < 0)
        CannotCreate(path, errno);
    TFileDescriptor fd(raw);

    int error = 0;
    try {
        // After a failed write the rest is not written; the error is reported below.
        produce([&](std::string_view bytes) {
            if (error == 0 && !WriteAll(fd.Get(), bytes))
                error = errno;
        });
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    if (error == 0 && ::fsync(fd.Get()) != 0)
        error = errno;
    if (error == 0 && exists && ::fchmod(fd.Get(), target.st_mode & 07777) != 0)
        error = errno;
    if (::close(fd.Release()) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        CannotCreate(path, error);
    }
    return temp;
}

std::filesystem::path WriteTempBeside(const std::filesystem::path& path, std::string_view bytes)
{
    return WriteTempBeside(path, [&](const TByteWriter& write) { write(bytes); });
}

} // namespace

void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes)
{
    WriteFileAtomically(path, [&](const TByteWriter& write) { write(bytes); });
}

void WriteFileAtomically(const std::filesystem::path& path, const std::function<void(const TByteWriter&)>& produce)
{
    std::filesystem::path temp = WriteTempBeside(path, produce);
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        int error = errno;
        ::unlink(temp.c_str());
        CannotCreate(path, error);
    }
}

void WriteFilesTogether(const std::vector<TFileWrite>& files, const std::vector<std::filesystem::path>& restoreFrom)
{
    std::vector<std::filesystem::path> temps;
    try {
        for (const TFileWrite& f : files)
            temps.push_back(WriteTempBeside(f.Path, f.Bytes));
    } catch (...) {
        for (const auto& temp : temps)
            ::unlink(temp.c_str());
        throw;
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (::rename(temps[i].c_str(), files[i].Path.c_str()) == 0)
            continue;
        int error = errno;
        for (size_t k = i; k < temps.size(); ++k)
            ::unlink(temps[k].c_str());
        for (size_t k = 0; k < i && k < restoreFrom.size(); ++k)
            WriteFileAtomically(files[k].Path, ReadWholeFile(restoreFrom[k]));
        CannotCreate(files[i].Path, error);
    }
}

std::filesystem::path UniqueTempPath(const std::filesystem::path& target)
{
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::random_device random;
    std::error_code error;
    for (;;) {
        std::filesystem::path candidate =
            folder / ("." + target.filename().string() + "." + std::to_string(random() % 1000000) + ".tmp");
        if (!std::filesystem::exists(candidate, error))
            return candidate;
    }
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
