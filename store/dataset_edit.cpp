#include "client_dataset.h"
#include "marks_error.h"

// Editing: edit and insert buffers, posting as new row versions with their change
// log entries, deleting, and the auto-increment ids.

size_t TClientDataSet::AppendStoredRow(std::uint8_t state, const std::vector<TFieldValue>& values, size_t logicalRow)
{
    size_t index = FRows.AppendRow(state, values);
    FRowOf.push_back(logicalRow);
    if (logicalRow == FLatest.size())
        FLatest.push_back(index);
    else
        FLatest[logicalRow] = index;
    return index;
}

void TClientDataSet::BeginEdit()
{
    CheckOpen();
    if (FState != TTableState::Browse)
        return;
    if (!HasCurrent()) {
        BeginInsert();
        return;
    }
    if (ParamTrue("DISABLE_EDITS"))
        TableError("Modifications are not allowed");
    const size_t row = CurrentRow();
    FBuffer.clear();
    for (size_t f = 0; f < FRows.FieldCount(); ++f)
        FBuffer.push_back(ValueOf(FRows.Value(row, f)));
    FModified = false;
    FState = TTableState::Edit;
    Changed();
}

void TClientDataSet::BeginInsert()
{
    CheckOpen();
    SettleEdit();
    if (ParamTrue("DISABLE_INSERTS"))
        TableError("Inserts are not allowed");
    FBuffer.assign(FContent.Fields.size(), TFieldValue{});
    // A new detail row belongs to the master's current row from the start.
    if (FMaster && !FKeyFields.empty())
        FBuffer[static_cast<size_t>(FKeyFields.front())] = MasterValueNow();
    FModified = false;
    FState = TTableState::Insert;
    CursorMoved();
}

void TClientDataSet::PostRow()
{
    CheckOpen();
    if (FState != TTableState::Edit && FState != TTableState::Insert)
        TableError("Dataset not in edit or insert mode");
    UpdateRecord();
    const int autoInc = FContent.AutoIncField();
    const bool newId = FState == TTableState::Insert && autoInc >= 0;
    for (size_t i = 0; i < FContent.Fields.size(); ++i)
        if (FContent.Fields[i].Required && IsNullValue(FBuffer[i]) && !(newId && i == static_cast<size_t>(autoInc)))
            throw EMarksError("Field value required.");
    // Checked first, so the buffer can be taken over: a refused post keeps it.
    std::vector<TFieldValue> values = std::move(FBuffer);
    if (newId)
        values[static_cast<size_t>(autoInc)] = FContent.AutoIncValue;

    const size_t fallback = FCursor;
    if (FState == TTableState::Insert) {
        if (autoInc >= 0)
            ++FContent.AutoIncValue;
        size_t row = AppendStoredRow(rsInserted, values, FLatest.size());
        FContent.ChangeLog.push_back({row, kNoRow, caInsert});
        if (!FBulk) {
            InsertIntoOrder(row);
            PlaceCursorOn(row, fallback);
        }
    } else if (FModified) {
        size_t old = FOrder[FCursor];
        std::uint8_t oldState = FRows.RowState(old);
        FRows.SetRowState(old, static_cast<std::uint8_t>(oldState | rsOriginal));
        size_t row = AppendStoredRow(static_cast<std::uint8_t>(rsModified | (oldState & rsInserted)), values, FRowOf[old]);
        FContent.ChangeLog.push_back({row, old, caModify});
        if (CompareRows(row, old) == 0) {
            FOrder[FCursor] = row;
        } else {
            RemoveFromOrder(FCursor);
            InsertIntoOrder(row);
            PlaceCursorOn(row, fallback);
        }
    }
    FState = TTableState::Browse;
    FBuffer.clear();
    FModified = false;
    FAtEnd = false;
    ++FContentStamp;
    CursorMoved();
}

void TClientDataSet::CancelRow()
{
    if (FState != TTableState::Edit && FState != TTableState::Insert)
        return;
    FState = TTableState::Browse;
    FBuffer.clear();
    FModified = false;
    CursorMoved();
}

void TClientDataSet::DeleteRow()
{
    CheckOpen();
    if (FState == TTableState::Insert) {
        CancelRow();
        return;
    }
    // The checks come before the pending edit is dropped, so a refused delete keeps it.
    if (ParamTrue("DISABLE_DELETES"))
        TableError("Deletes are not allowed");
    if (!HasCurrent())
        TableError("Cannot perform this operation on an empty dataset");
    CancelRow();
    size_t row = FOrder[FCursor];
    FRows.SetRowState(row, static_cast<std::uint8_t>(FRows.RowState(row) | rsDeleted));
    FContent.ChangeLog.push_back({row, kNoRow, caDelete});
    size_t position = FCursor;
    RemoveFromOrder(position);
    FCursor = position;
    if (FCursor >= FViewEnd && FViewEnd > FViewBegin)
        FCursor = FViewEnd - 1;
    FAtEnd = FViewBegin == FViewEnd;
    ++FContentStamp;
    CursorMoved();
}

void TClientDataSet::SettleEdit()
{
    if (FState != TTableState::Edit && FState != TTableState::Insert)
        return;
    UpdateRecord();
    if (FModified)
        PostRow();
    else
        CancelRow();
}
