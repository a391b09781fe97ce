#include "import_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "ascii.h"
#include "file_io.h"
#include "gpx_reader.h"
#include "kml_reader.h"
#include "kmz_source.h"
#include "marks_error.h"

const char* const kImportFilter = "GPX, KML and KMZ files|*.gpx *.kml *.kmz|All files|*";

namespace {

// Closes the descriptor on every way out.
class TFile {
public:
    explicit TFile(int fd) : FFd(fd) {}
    ~TFile() { ::close(FFd); }
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
    int Fd() const { return FFd; }

private:
    int FFd;
};

void ReadDocument(TXmlStream& xml, TImportResult& result)
{
    while (xml.Read() && !xml.IsStartElement()) {
    }
    const std::string_view root = xml.LocalName();
    if (root == "gpx" || root == "kml") {
        if (!xml.IsEmptyElement())
            (root == "gpx" ? ReadGpx : ReadKml)(xml, result);
    } else {
        xml.Fail("It is not a GPX or KML document.");
    }
    // Whatever follows the root must still be well-formed.
    while (xml.Read()) {
    }
}

} // namespace

TImportResult ReadImportFile(const std::filesystem::path& path)
{
    const std::string name = path.string();
    // Opened without waiting, then looked at: a folder, a pipe or a device is never
    // waited on or read.
    TFile file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.Fd() < 0)
        throw EMarksError("Cannot open file \"" + name + "\". " + SystemErrorText(errno));
    struct stat st{};
    if (::fstat(file.Fd(), &st) != 0)
        throw EMarksError("Cannot open file \"" + name + "\". " + SystemErrorText(errno));
    if (!S_ISREG(st.st_mode))
        throw EMarksError("Cannot open file \"" + name + "\". It is not a regular file.");

    unsigned char magic[4] = {};
    const bool zip = ::pread(file.Fd(), magic, 4, 0) == 4 && magic[0] == 'P' && magic[1] == 'K' &&
                     ((magic[2] == 3 && magic[3] == 4) || (magic[2] == 5 && magic[3] == 6));
    TImportResult result;
    if (zip) {
        std::string entry;
        TXmlStream::TSource source = OpenKmzDocument(path, file.Fd(), entry);
        TXmlStream xml(name, entry, std::move(source));
        ReadDocument(xml, result);
    } else {
        const int fd = file.Fd();
        TXmlStream xml(name, {}, [fd](char* buffer, int size, std::string& reason) {
            ssize_t n;
            do
                n = ::read(fd, buffer, static_cast<size_t>(size));
            while (n < 0 && errno == EINTR);
            if (n < 0)
                reason = SystemErrorText(errno);
            return static_cast<int>(n);
        });
        ReadDocument(xml, result);
    }
    return result;
}

bool IsImportFileName(const std::filesystem::path& path)
{
    const std::string extension = path.extension().string();
    return EqualNoCase(extension, ".gpx") || EqualNoCase(extension, ".kml") || EqualNoCase(extension, ".kmz");
}
