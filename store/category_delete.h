#pragma once

#include <cstddef>

#include "client_dataset.h"

// The marks of the current category of cats: the rows of marks, the detail of cats,
// shown for it; none for a category being inserted, which holds none yet.
std::size_t CategoryMarkCount(const TClientDataSet& cats, const TClientDataSet& marks);

// Deletes the current category of cats together with its marks. A mark left behind
// would belong to no category, and no view would ever show or export it again. The
// marks go first, so a marks table that refuses deletes stops the command before
// the category goes; a pending edit of a mark is dropped with it.
void DeleteCategoryWithMarks(TClientDataSet& cats, TClientDataSet& marks);
