#pragma once

#include "imported_marks.h"
#include "xml_stream.h"

// GPX 1.0 and 1.1: every waypoint becomes a point mark (its symbol naming its
// icon), every route a line mark, and every segment of a track a line mark named
// after its track. Called with the
// stream on the root element "gpx".
void ReadGpx(TXmlStream& xml, TImportResult& result);
