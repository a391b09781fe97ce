#include "category_delete.h"

std::size_t CategoryMarkCount(const TClientDataSet& cats, const TClientDataSet& marks)
{
    if (!cats.IsOpen() || !marks.IsOpen() || cats.State() == TTableState::Insert)
        return 0;
    return marks.RecordCount();
}

void DeleteCategoryWithMarks(TClientDataSet& cats, TClientDataSet& marks)
{
    if (CategoryMarkCount(cats, marks) > 0) {
        marks.CancelRow();
        TSuspendedViews suspended(marks);
        // From the last one, which keeps the cursor on the last row left.
        marks.GoFirst();
        marks.GoBy(static_cast<long>(marks.RecordCount()) - 1);
        while (marks.RecordCount() > 0)
            marks.DeleteRow();
    }
    cats.DeleteRow();
}
