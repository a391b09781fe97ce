#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "xml_stream.h"
#include "zip_archive.h"

// A KMZ archive whose KML documents are read as byte sources: stored or deflated,
// inflated while they are read, so that neither the archive nor a document is held
// in memory whole. Each document is checked against the import's limits on its
// inflated size and on its ratio to the compressed size, before and while it is
// read, and against the length and CRC-32 the directory gives.
class TKmzArchive {
public:
    // fd is an open descriptor of the archive, kept by the caller while the archive
    // is in use; onRead is told how many bytes of the archive each read took.
    TKmzArchive(const std::filesystem::path& path, int fd, std::function<void(std::uint64_t bytes)> onRead);

    // The entries whose names end in ".kml" (letter case ignored), in directory order.
    const std::vector<const ZipEntry*>& KmlEntries() const { return FKml; }
    // The KML entry that a link in the document entry `from` names; nullptr for an
    // address outside the archive or an entry that is not there.
    const ZipEntry* LinkedKml(const ZipEntry& from, std::string_view href) const;
    // The entry's document as a byte source; part receives its name for messages.
    TXmlStream::TSource Open(const ZipEntry& entry, std::string& part) const;

private:
    std::filesystem::path FPath;
    int FFd;
    std::function<void(std::uint64_t)> FOnRead;
    ZipArchive FZip;
    std::vector<const ZipEntry*> FKml;
    // The KML entries by name, and by name in lower case; the first of equal names.
    std::map<std::string, const ZipEntry*, std::less<>> FByName;
    std::map<std::string, const ZipEntry*, std::less<>> FByLowerName;

    const ZipEntry* FindKml(std::string_view name) const;
};
