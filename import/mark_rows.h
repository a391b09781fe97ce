#pragma once

#include <string>

#include "client_dataset.h"
#include "icon_cache.h"
#include "imported_marks.h"

// What making the rows changed in the marks' texts.
struct TRowNotes {
    int CharactersReplaced = 0; // characters the code page lacks, each now a "?"
    int NamesCut = 0;           // names longer than their field
    int NameWidth = 0;          // the width of that field
};

// Inserts the marks into the marks table's current category, each through the
// table's own insert and post, so that each enters the change log, gets the next id
// and is saved like any other edit. Names and descriptions are converted to the
// table's code page ("?" for a character it lacks) and cut to the field's width;
// the points become the point blob with its bounding box; an icon is named only
// when the project's icon folder has it; scales, colours and visibility get the
// values the map application needs to show the mark where the file gives none. The
// rows are placed in the table's order and the views told once, at the end. Should
// a row fail to post, none is kept and the error is passed on. Returns the number
// of rows inserted; notes, when given, receive what the texts lost.
int InsertImportedMarks(TClientDataSet& marks, const TImportResult& imported, const TIconCache& icons,
                        TRowNotes* notes = nullptr);

// UTF-8 text in the table's code page: every character it lacks becomes one "?",
// counted in replaced when it is given.
std::string ImportedText(std::string_view utf8, int* replaced = nullptr);

// The icon file name that a KML icon reference, a GeoJSON icon or a GPX symbol
// names, as the icon folder lists it (a name without ".png" names the PNG icon);
// empty when the folder has no such icon (letter case ignored) or when its name does
// not fit into width bytes.
std::string ImportedIconName(std::string_view href, const TIconCache& icons, int width);

// The message after an import: the marks imported, then a line for each kind of
// thing the import left out or changed, with its count.
std::string ImportReportText(int imported, const TImportResult& read, const TRowNotes& rows);
