#include <algorithm>
#include <optional>

#include "client_dataset.h"
#include "marks_error.h"

// Editing: edit and insert buffers, posting as new row versions with their change
// log entries, deleting, and the auto-increment ids.

namespace {

// Room for one more element, grown as a push would grow it, so that the push that
// follows cannot fail.
template <class T>
void ReserveOneMore(std::vector<T>& items)
{
    if (items.size() == items.capacity())
        items.reserve(std::max<size_t>(16, items.capacity() * 2));
}

} // namespace

class TClientDataSet::TChangeScope {
public:
    explicit TChangeScope(TClientDataSet& table) : FTable(table)
    {
        if (FTable.FWatcher)
            FTable.FWatcher->BeforeChange(FTable);
    }
    ~TChangeScope()
    {
        if (FTable.FWatcher)
            FTable.FWatcher->AfterChange(FTable);
    }
    TChangeScope(const TChangeScope&) = delete;
    TChangeScope& operator=(const TChangeScope&) = delete;

private:
    TClientDataSet& FTable;
};

size_t TClientDataSet::AppendStoredRow(std::uint8_t state, size_t logicalRow)
{
    // Room in the indices, the log and the order first, then the row itself: once
    // it is stored nothing of a post allocates, so a post that runs out of memory
    // leaves the table, its state and the edit as they were.
    ReserveOneMore(FRowOf);
    ReserveOneMore(FLatest);
    ReserveOneMore(FContent.ChangeLog);
    ReserveOneMore(FLogPlace);
    ReserveOneMore(FOrder);
    size_t index = FRows.AppendRow(state, FBuffer);
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
    FBuffer = RowValues(FRows, row);
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
    PostBuffer(newId);
}

void TClientDataSet::PostBuffer(bool newId)
{
    // A bulk insert is one change as a whole; its rows are not told one by one.
    std::optional<TChangeScope> scope;
    if ((FState == TTableState::Insert || FModified) && !FBulk)
        scope.emplace(*this);
    const int autoInc = FContent.AutoIncField();
    const size_t fallback = FCursor;
    if (FState == TTableState::Insert) {
        size_t row = AppendStoredRow(rsInserted, FLatest.size());
        if (newId && autoInc >= 0)
            FRows.SetValue(static_cast<size_t>(autoInc), FContent.AutoIncValue++);
        FContent.ChangeLog.push_back({row, kNoRow, caInsert});
        FLogPlace.push_back(kNoRow);
        if (!FBulk) {
            InsertIntoOrder(row);
            PlaceCursorOn(row, fallback);
        }
    } else if (FModified) {
        size_t old = FOrder[FCursor];
        std::uint8_t oldState = FRows.RowState(old);
        size_t row = AppendStoredRow(static_cast<std::uint8_t>(rsModified | (oldState & rsInserted)), FRowOf[old]);
        FRows.SetRowState(old, static_cast<std::uint8_t>(oldState | rsOriginal));
        FContent.ChangeLog.push_back({row, old, caModify});
        if (CompareRows(row, old) == 0) {
            FOrder[FCursor] = row;
            FLogPlace.push_back(kInPlace);
        } else {
            FLogPlace.push_back(PlaceBefore(FCursor));
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
    // The checks, and the room in the log, come before the pending edit is dropped,
    // so a refused delete keeps it.
    if (ParamTrue("DISABLE_DELETES"))
        TableError("Deletes are not allowed");
    if (!HasCurrent())
        TableError("Cannot perform this operation on an empty dataset");
    ReserveOneMore(FContent.ChangeLog);
    ReserveOneMore(FLogPlace);
    TChangeScope scope(*this);
    CancelRow();
    size_t row = FOrder[FCursor];
    FRows.SetRowState(row, static_cast<std::uint8_t>(FRows.RowState(row) | rsDeleted));
    FContent.ChangeLog.push_back({row, kNoRow, caDelete});
    FLogPlace.push_back(PlaceBefore(FCursor));
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

std::vector<TFieldValue> TClientDataSet::RowValues(const TRowStore& store, size_t row) const
{
    std::vector<TFieldValue> values;
    values.reserve(FRows.FieldCount());
    for (size_t f = 0; f < FRows.FieldCount(); ++f)
        values.push_back(ValueOf(store.Value(row, f)));
    return values;
}
