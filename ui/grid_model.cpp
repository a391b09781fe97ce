#include "grid_model.h"

#include <QCoreApplication>

#include "marks_error.h"
#include "table_text.h"

namespace {

bool IsNumeric(TFieldClass c)
{
    return c == TFieldClass::AutoInc || c == TFieldClass::Integer || c == TFieldClass::Smallint ||
           c == TFieldClass::Float;
}

} // namespace

TGridModel::TGridModel(TClientDataSet& table, std::vector<TGridColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), FTable(table)
{
    for (TGridColumn& column : columns)
        if (column.Visible) {
            FFields.push_back(&FTable.FieldNamed(column.FieldName));
            FColumns.push_back(std::move(column));
        }
    FShape = ShapeNow();
    FLastCurrent = CurrentRow();
    FTable.AddObserver(this);
}

TGridModel::~TGridModel()
{
    FTable.RemoveObserver(this);
}

TGridModel::TShape TGridModel::ShapeNow() const
{
    TShape shape;
    shape.Open = FTable.IsOpen();
    shape.Count = FTable.RecordCount();
    shape.Generation = FTable.RowRefAt(0).Generation;
    if (FTable.State() == TTableState::Insert) {
        if (FShape.InsertAt >= 0)
            shape.InsertAt = FShape.InsertAt;
        else if (FAppend || FTable.RowNumber() == 0)
            shape.InsertAt = FAppend ? static_cast<int>(shape.Count) : 0;
        else
            shape.InsertAt = static_cast<int>(FTable.RowNumber()) - 1;
    }
    return shape;
}

int TGridModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return static_cast<int>(FShape.Count) + (FShape.InsertAt >= 0 ? 1 : 0);
}

int TGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(FColumns.size());
}

std::size_t TGridModel::PositionOf(int row) const
{
    if (FShape.InsertAt >= 0 && row > FShape.InsertAt)
        return static_cast<std::size_t>(row - 1);
    return static_cast<std::size_t>(row);
}

int TGridModel::CurrentRow() const
{
    if (FShape.InsertAt >= 0)
        return FShape.InsertAt;
    return static_cast<int>(FTable.RowNumber()) - 1;
}

TRowRef TGridModel::RefAt(int row) const
{
    if (row < 0 || IsInsertRow(row))
        return {};
    return FTable.RowRefAt(PositionOf(row));
}

QString TGridModel::CellText(int row, int column) const
{
    const TField& field = FieldOf(column);
    std::string text = IsInsertRow(row) ? field.AsText() : field.TextAt(PositionOf(row));
    if (const auto getText = Column(column).GetText)
        text = getText(text);
    return TableToQString(text);
}

QVariant TGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const int row = index.row();
    const TField& field = FieldOf(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return CellText(row, index.column());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(IsNumeric(field.Class()) ? Qt::AlignRight : Qt::AlignLeft);
    case RowNumberRole:
        // Rows are numbered by their place in the table's view, so a row keeps its
        // colour when the grid scrolls; the row being inserted takes its place.
        return row + 1;
    case FlagRole: {
        const TFieldValue& value = IsInsertRow(row) ? field.AsValue() : field.ValueAt(PositionOf(row));
        const bool* flag = std::get_if<bool>(&value);
        return flag && *flag;
    }
    default:
        return {};
    }
}

QVariant TGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    // The tooltip gives the whole title of a column too narrow for it.
    if (orientation == Qt::Horizontal && (role == Qt::DisplayRole || role == Qt::ToolTipRole) && section >= 0 &&
        section < static_cast<int>(FColumns.size()))
        return QCoreApplication::translate("TGridColumn", FColumns[static_cast<size_t>(section)].FieldName.c_str());
    return {};
}

Qt::ItemFlags TGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const TField& field = FieldOf(index.column());
    // Read-only fields and memos are never changed in the grid; the memo below it
    // edits the description.
    if (!field.ReadOnly() && field.Class() != TFieldClass::Memo && field.Class() != TFieldClass::Blob)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool TGridModel::Guarded(const std::function<void()>& action)
{
    try {
        action();
        return true;
    } catch (...) {
        if (OnError)
            OnError(ErrorMessageOf());
        return false;
    }
}

bool TGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.row() != CurrentRow() ||
        !(flags(index) & Qt::ItemIsEditable))
        return false;
    TField& field = FieldOf(index.column());
    const std::string text = QStringToTable(value.toString());
    if (text == field.AsText())
        return true;
    return Guarded([&] {
        if (FTable.State() == TTableState::Browse)
            FTable.BeginEdit();
        field.SetAsText(text);
    });
}

void TGridModel::revert()
{
    Cancel();
}

bool TGridModel::ToggleFlag(const QModelIndex& index)
{
    if (!index.isValid() || index.row() != CurrentRow() || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const bool on = data(index, FlagRole).toBool();
    TField& field = FieldOf(index.column());
    return Guarded([&] {
        if (FTable.State() == TTableState::Browse)
            FTable.BeginEdit();
        field.SetAsValue(!on);
    });
}

bool TGridModel::GoToModelRow(int row)
{
    if (row == CurrentRow())
        return true;
    const TRowRef ref = RefAt(row);
    if (!ref.IsSet())
        return false;
    return Guarded([&] { FTable.GoToRow(ref); });
}

bool TGridModel::Insert(bool append)
{
    FAppend = append;
    const bool done = Guarded([&] { FTable.BeginInsert(); });
    FAppend = false;
    return done;
}

bool TGridModel::StartEdit()
{
    return Guarded([&] { FTable.BeginEdit(); });
}

bool TGridModel::Cancel()
{
    return Guarded([&] { FTable.CancelRow(); });
}

bool TGridModel::DeleteRows(const std::vector<TRowRef>& rows)
{
    return Guarded([&] {
        if (rows.empty()) {
            FTable.DeleteRow();
            return;
        }
        // From the last one to the first; a reference that no longer leads to its
        // row is skipped rather than deleting whatever row is current.
        THistoryStep step(History, "Delete");
        TSuspendedViews suspended(FTable);
        for (auto it = rows.rbegin(); it != rows.rend(); ++it)
            if (FTable.GoToRow(*it))
                FTable.DeleteRow();
    });
}

void TGridModel::EmitRowChanged(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    if (IsEditingRow && IsEditingRow(row))
        emit RowRepaint(row);
    else
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void TGridModel::DataSetChanged(TClientDataSet&)
{
    const TShape shape = ShapeNow();
    if (shape != FShape) {
        beginResetModel();
        FShape = shape;
        endResetModel();
    } else {
        EmitRowChanged(FLastCurrent);
        if (CurrentRow() != FLastCurrent)
            EmitRowChanged(CurrentRow());
    }
    FLastCurrent = CurrentRow();
    emit CurrentRowMoved(FLastCurrent);
}

void TGridModel::UpdateRecord(TClientDataSet&)
{
    if (BeforePost)
        BeforePost();
}
