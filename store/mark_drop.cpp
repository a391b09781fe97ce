#include "mark_drop.h"

#include <string>

// Moving and copying marks onto a category.

namespace {

// A mark whose assignment or post failed would otherwise stay pending in edit or
// insert state, and be posted half-changed by the next move of the master: it is
// dropped before the error goes on.
template <class TWork>
void CancelRowOnFailure(TClientDataSet& table, TWork work)
{
    try {
        work();
    } catch (...) {
        table.CancelRow();
        throw;
    }
}

void MoveMarks(TClientDataSet& marks, const std::vector<TRowRef>& selection, const std::string& category)
{
    TSuspendedViews suspended(marks);
    TField& categoryId = marks.FieldNamed("categoryid");
    CancelRowOnFailure(marks, [&] {
        for (const TRowRef& ref : selection) {
            // A reference that no longer leads to a mark of this view is passed over,
            // never taken as the current mark.
            if (!marks.GoToRow(ref))
                continue;
            marks.BeginEdit();
            categoryId.SetAsText(category);
            marks.PostRow();
        }
    });
}

void CopyMarks(TClientDataSet& source, const std::vector<TRowRef>& selection, TClientDataSet& marks,
               const std::string& category)
{
    // The new rows leave the view the marks grid shows as they are posted; with its
    // views suspended the grid is not told of every row on the way.
    TSuspendedViews suspendedSource(source);
    TSuspendedViews suspended(marks);
    TField& categoryId = marks.FieldNamed("categoryid");
    const std::size_t total = marks.FieldTotal();
    CancelRowOnFailure(marks, [&] {
        for (const TRowRef& ref : selection) {
            if (!source.GoToRow(ref))
                continue;
            marks.BeginInsert();
            // Both tables declare the same fields in the same order; position 0 is the
            // id, which the new row gets from this table when it is posted.
            for (std::size_t p = 1; p < total; ++p)
                marks.FieldAt(p).SetAsValue(source.FieldAt(p).AsValue());
            categoryId.SetAsText(category);
            marks.PostRow();
        }
    });
}

} // namespace

void DropMarks(TClientDataSet& cats, const TRowRef& category, TClientDataSet& marks, const TMarksDrag& drag)
{
    // Pending edits are posted before any view is suspended. Resuming the categories
    // settles the marks' edit, and one that cannot be posted must fail here, not
    // while the views are resumed on the way out. A category edit, once posted, may
    // move categories in the order: the target is found by its reference.
    marks.SettleEdit();
    cats.SettleEdit();
    TSuspendedViews suspended(cats);
    const TRowRef current = cats.CurrentRowRef();
    if (!cats.GoToRow(category))
        return;
    const std::string id = cats.FieldNamed("id").AsText();
    if (&drag.Marks == &marks)
        MoveMarks(marks, drag.Selection, id);
    else
        CopyMarks(drag.Marks, drag.Selection, marks, id);
    cats.GoToRow(current);
}
