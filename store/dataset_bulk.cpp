#include <algorithm>

#include "client_dataset.h"
#include "marks_error.h"

// Bulk inserts: rows stored and logged one by one, placed in the order in one merge.

void TClientDataSet::BeginBulkInsert()
{
    CheckOpen();
    SettleEdit();
    if (FBulk)
        throw EMarksError("A bulk insert is already under way.");
    // The whole bulk is one change for the watcher, told at its end or its cancel.
    if (FWatcher)
        FWatcher->BeforeChange(*this);
    FBulk = true;
    FBulkRows = FRows.RowCount();
    FBulkLog = FContent.ChangeLog.size();
    FBulkAutoInc = FContent.AutoIncValue;
}

void TClientDataSet::EndBulkInsert()
{
    if (!FBulk)
        return;
    SettleEdit();
    const size_t first = FRows.RowCount() > FBulkRows ? FBulkRows : FRows.RowCount();
    // Room for the new rows in the order before the bulk ends: should it run out of
    // memory, the bulk is still under way and its cancel takes the rows away again.
    FOrder.reserve(FOrder.size() + FRows.RowCount() - first);
    FBulk = false;
    if (first == FRows.RowCount()) {
        if (FWatcher)
            FWatcher->AfterChange(*this);
        return;
    }
    // Each new row goes after the rows with an equal key, as a single post places it:
    // the new rows sorted stably among themselves, then merged behind their equals.
    const size_t oldSize = FOrder.size();
    for (size_t row = first; row < FRows.RowCount(); ++row)
        FOrder.push_back(row);
    auto byKey = [&](size_t a, size_t b) { return CompareRows(a, b) < 0; };
    const auto middle = FOrder.begin() + static_cast<std::ptrdiff_t>(oldSize);
    std::stable_sort(middle, FOrder.end(), byKey);
    std::inplace_merge(FOrder.begin(), middle, FOrder.end(), byKey);
    ++FGeneration;
    RestrictView();
    PlaceCursorOn(FRows.RowCount() - 1, FCursor);
    FAtEnd = false;
    ++FContentStamp;
    CursorMoved();
    if (FWatcher)
        FWatcher->AfterChange(*this);
}

void TClientDataSet::CancelBulkInsert()
{
    if (!FBulk)
        return;
    CancelRow();
    FBulk = false;
    // The bulk's rows are the last stored, each a new logical row, and its log
    // entries the last entries.
    const size_t rows = FRows.RowCount() - FBulkRows;
    FRows.Truncate(FBulkRows);
    FRowOf.resize(FBulkRows);
    FLatest.resize(FLatest.size() - rows);
    FContent.ChangeLog.resize(FBulkLog);
    FLogPlace.resize(FBulkLog);
    FContent.AutoIncValue = FBulkAutoInc;
    ++FContentStamp;
    CursorMoved();
    if (FWatcher)
        FWatcher->AfterChange(*this);
}
