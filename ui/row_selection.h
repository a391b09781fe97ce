#pragma once

#include <cstddef>
#include <unordered_set>
#include <vector>

#include "client_dataset.h"

// The rows selected in a grid: references kept sorted with CompareRowRefs, so
// whoever walks them goes in view order. A row is in the list at most once.
class TRowSelection {
public:
    const std::vector<TRowRef>& Rows() const { return FRows; }
    std::size_t Count() const { return FRows.size(); }
    bool Contains(const TRowRef& ref) const { return ref.IsSet() && FIds.count(ref.Row) > 0; }
    void Add(const TRowRef& ref);
    void Remove(const TRowRef& ref);
    void Toggle(const TRowRef& ref);
    void SelectOnly(const TRowRef& ref);
    void Clear();

private:
    std::vector<TRowRef> FRows;
    std::unordered_set<std::size_t> FIds;
};
