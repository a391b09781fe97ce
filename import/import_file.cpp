#include "import_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <new>
#include <set>
#include <string_view>

#include "ascii.h"
#include "file_io.h"
#include "geojson_reader.h"
#include "gpx_reader.h"
#include "import_limits.h"
#include "kml_reader.h"
#include "kmz_source.h"
#include "marks_error.h"

const char* const kImportFilter =
    "GPX, KML, KMZ and GeoJSON files|*.gpx *.kml *.kmz *.geojson *.json|All files|*";

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

using TLinkSink = std::function<void(std::string_view href)>;

void ReadDocument(TXmlStream& xml, TImportResult& result, const TLinkSink& onLink = {})
{
    while (xml.Read() && !xml.IsStartElement()) {
    }
    const std::string_view root = xml.LocalName();
    if (root == "gpx")
        ReadGpx(xml, result);
    else if (root == "kml")
        ReadKml(xml, result, onLink);
    else
        xml.Fail("It is not a GPX or KML document.");
    // Whatever follows the root must still be well-formed.
    while (xml.Read()) {
    }
}

// The first KML document of the archive, then those its network links lead to,
// each once, as deep as the import allows; links never leave the archive.
void ReadKmz(const std::string& name, int fd, TImportResult& result, const std::function<void(std::uint64_t)>& onRead)
{
    const TKmzArchive kmz(name, fd, onRead);
    struct TDocument {
        const ZipEntry* Entry;
        int Depth;
    };
    std::deque<TDocument> queue{{kmz.KmlEntries().front(), 0}};
    std::set<const ZipEntry*> seen{queue.front().Entry};
    while (!queue.empty()) {
        const TDocument document = queue.front();
        queue.pop_front();
        std::string part;
        TXmlStream::TSource source = kmz.Open(*document.Entry, part);
        TXmlStream xml(name, part, std::move(source));
        ReadDocument(xml, result, [&](std::string_view href) {
            const ZipEntry* linked = kmz.LinkedKml(*document.Entry, href);
            if (linked && document.Depth < kMaxKmzLinkDepth && seen.insert(linked).second)
                queue.push_back({linked, document.Depth + 1});
        });
    }
    result.DocumentsNotRead += static_cast<int>(kmz.KmlEntries().size() - seen.size());
}

// Whether the file's text begins as a JSON object or array does (after a
// byte-order mark and white space), as no XML document can.
bool IsJsonText(int fd)
{
    char start[4096];
    const ssize_t n = ::pread(fd, start, sizeof start, 0);
    std::string_view text(start, n > 0 ? static_cast<size_t>(n) : 0);
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    const size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && (text[first] == '{' || text[first] == '[');
}

} // namespace

void ReadImportFile(const std::filesystem::path& path, TImportResult& result, const TImportProgress& progress)
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
    if (st.st_size == 0)
        throw EMarksError("Cannot import file \"" + name + "\". The file is empty.");

    const auto total = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t done = 0;
    auto onRead = [&](std::uint64_t bytes) {
        done += bytes;
        if (progress && !progress(std::min(done, total), total))
            throw EMarksError("Cannot import file \"" + name + "\". The import was cancelled.");
    };
    try {
        unsigned char magic[4] = {};
        const bool zip = ::pread(file.Fd(), magic, 4, 0) == 4 && magic[0] == 'P' && magic[1] == 'K' &&
                         ((magic[2] == 3 && magic[3] == 4) || (magic[2] == 5 && magic[3] == 6));
        if (zip) {
            ReadKmz(name, file.Fd(), result, onRead);
            return;
        }
        const int fd = file.Fd();
        auto source = [&](char* buffer, int size, std::string& reason) {
            ssize_t n;
            do
                n = ::read(fd, buffer, static_cast<size_t>(size));
            while (n < 0 && errno == EINTR);
            if (n < 0)
                reason = SystemErrorText(errno);
            else
                onRead(static_cast<std::uint64_t>(n));
            return static_cast<int>(n);
        };
        if (IsJsonText(fd)) {
            TJsonStream json(name, source);
            ReadGeoJson(json, result);
            return;
        }
        TXmlStream xml(name, {}, source);
        ReadDocument(xml, result);
    } catch (const std::bad_alloc&) {
        throw EMarksError("Cannot import file \"" + name + "\". Insufficient memory for this operation.");
    }
}

TImportResult ReadImportFile(const std::filesystem::path& path)
{
    TImportResult result;
    ReadImportFile(path, result);
    return result;
}

bool IsImportFileName(const std::filesystem::path& path)
{
    const std::string extension = path.extension().string();
    for (const char* kind : {".gpx", ".kml", ".kmz", ".geojson", ".json"})
        if (EqualNoCase(extension, kind))
            return true;
    return false;
}
