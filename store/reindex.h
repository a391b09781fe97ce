#pragma once

#include "client_dataset.h"

// Renumbers the marks: every stored row of the packet gets the id of its position
// (from 0, in storage order) and the next auto-increment value becomes the number of
// rows. The packet text is edited through an XML DOM and read back; the change log
// is kept, so renumbering is not a change to save. The views are resumed on every
// path; a packet the DOM rejects leaves the table as it was.
void ReindexMarks(TClientDataSet& marks);
