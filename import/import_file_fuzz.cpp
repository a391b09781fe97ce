// Any bytes read as a GPX, KML, KMZ or GeoJSON file are either refused with an error or give
// marks whose every point is valid; the marks then go into a table as rows whose
// point blobs decode back to the same points.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "client_dataset.h"
#include "coordinates.h"
#include "import_file.h"
#include "mark_geometry.h"
#include "mark_rows.h"
#include "marks_error.h"
#include "marks_schema.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int fd = memfd_create("import", 0);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size))
        std::abort();
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    try {
        TImportResult result = ReadImportFile(path);
        for (const TImportedMark& mark : result.Marks) {
            if (mark.Points.empty())
                std::abort();
            for (const TLonLat& point : mark.Points)
                if (!IsValidLonLat(point))
                    std::abort();
        }
        TClientDataSet marks(MarksSchema());
        marks.SetPacketText(WriteXmlPacket(EmptyMarksPacket()));
        if (InsertImportedMarks(marks, result, {}) != static_cast<int>(result.Marks.size()))
            std::abort();
        size_t rows = 0;
        for (marks.GoFirst(); rows < marks.RecordCount(); marks.GoNext(), ++rows)
            if (ReadCurrentMark(marks).points.empty())
                std::abort();
    } catch (const EMarksError&) {
    }
    close(fd);
    return 0;
}
