#pragma once

#include <vector>

#include "client_dataset.h"

// The marks a drag carries: the marks table of the grid the drag started from and
// that grid's selection, sorted in view order.
struct TMarksDrag {
    TClientDataSet& Marks;
    const std::vector<TRowRef>& Selection;
};

// Drops the dragged marks on a category, a row of cats, the categories table whose
// detail is marks. Marks dragged from marks itself are moved there (their
// categoryid changes); marks dragged from another window's table are copied into
// marks with every field but the id, and get new ids. Pending edits of both tables
// are posted first; a category that is no longer there takes nothing.
//
// The views of the tables involved stay suspended while the marks change, so the
// grids and the detail follow once at the end: marks still shows the category that
// was current. On failure the error propagates after every view is resumed; the
// marks handled before it keep their change, the failing one is left as it was, and
// cats stays on the target category.
void DropMarks(TClientDataSet& cats, const TRowRef& category, TClientDataSet& marks, const TMarksDrag& drag);
