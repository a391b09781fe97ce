#pragma once

#include <filesystem>
#include <string>

#include "xml_stream.h"

// The KML document of a KMZ archive as a byte source: the first entry whose name
// ends in ".kml" (letter case ignored), stored or deflated, inflated while it is
// read so that neither the archive nor the document is held in memory whole.
// fd is an open descriptor of the archive, kept by the caller while the source is
// in use; entryName receives the entry's name for messages.
TXmlStream::TSource OpenKmzDocument(const std::filesystem::path& path, int fd, std::string& entryName);
