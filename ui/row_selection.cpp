#include "row_selection.h"

#include <algorithm>

void TRowSelection::Add(const TRowRef& ref)
{
    if (!ref.IsSet() || !FIds.insert(ref.Row).second)
        return;
    auto at = std::upper_bound(FRows.begin(), FRows.end(), ref, [](const TRowRef& a, const TRowRef& b) {
        return TClientDataSet::CompareRowRefs(a, b) < 0;
    });
    FRows.insert(at, ref);
}

void TRowSelection::Remove(const TRowRef& ref)
{
    if (!ref.IsSet() || FIds.erase(ref.Row) == 0)
        return;
    std::erase_if(FRows, [&](const TRowRef& r) { return r.Row == ref.Row; });
}

void TRowSelection::Toggle(const TRowRef& ref)
{
    if (Contains(ref))
        Remove(ref);
    else
        Add(ref);
}

void TRowSelection::SelectOnly(const TRowRef& ref)
{
    Clear();
    Add(ref);
}

void TRowSelection::Clear()
{
    FRows.clear();
    FIds.clear();
}
