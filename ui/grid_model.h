#pragma once

#include <QAbstractTableModel>

#include <functional>
#include <string>
#include <vector>

#include "client_dataset.h"
#include "edit_history.h"
#include "grid_columns.h"

// The model of a grid: a thin layer over a table's view. It reads rows by their
// position in the view without moving the table's cursor, so painting and scrolling
// cost only the rows shown. The table's current row is the grid's current row; the
// row being inserted is shown before the row it was started on, or after the last
// row when it was appended. Edits go through the table's own edit, insert, post and
// cancel, so its change log stays right.
class TGridModel : public QAbstractTableModel, public TDataSetObserver {
    Q_OBJECT

public:
    enum TRole {
        RowNumberRole = Qt::UserRole, // the row's number from 1, for alternating colours
        FlagRole,                     // Boolean value of a checkbox column
    };

    TGridModel(TClientDataSet& table, std::vector<TGridColumn> columns, QObject* parent = nullptr);
    ~TGridModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Assigns the text when it differs from the field's, starting an edit of the row.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    // Cancels the row's edit or insert.
    void revert() override;

    TClientDataSet& Table() const { return FTable; }
    const TGridColumn& Column(int column) const { return FColumns[static_cast<size_t>(column)]; }
    TField& FieldOf(int column) const { return *FFields[static_cast<size_t>(column)]; }
    // The model row of the table's current row (the row being inserted while there
    // is one); -1 when the view is empty.
    int CurrentRow() const;
    bool IsInsertRow(int row) const { return FShape.InsertAt >= 0 && row == FShape.InsertAt; }
    // A reference to the row shown at that model row; unset for the row being inserted.
    TRowRef RefAt(int row) const;

    // Table commands of the grid. Each shows its error and returns false when the
    // table refuses, leaving the table as it was.
    bool GoToModelRow(int row);
    bool Insert(bool append);
    bool StartEdit();
    // Sets a checkbox cell of the current row to the other value (null counts as
    // false), starting an edit of the row.
    bool ToggleFlag(const QModelIndex& index);
    bool Cancel();
    bool DeleteRows(const std::vector<TRowRef>& rows);

    // Shows an error of a command; set by the window.
    std::function<void(const std::string&)> OnError;
    // The window's history: a command changing several rows is one step of it.
    TEditHistory* History = nullptr;
    // Assigns text still held by the grid's editor; called before the table posts.
    std::function<void()> BeforePost;
    // Whether the grid's editor is open on a row: that row is repainted, never
    // reported changed, since a change would put the field's text over the typing.
    std::function<bool(int row)> IsEditingRow;

signals:
    // The table's current row is now at this model row (-1: none).
    void CurrentRowMoved(int row);
    // The row must be repainted, its editor left alone.
    void RowRepaint(int row);

private:
    // What decides the rows shown: when it changes, the model resets; otherwise only
    // the rows of the old and new current row are repainted.
    struct TShape {
        bool Open = false;
        std::size_t Count = 0;
        std::uint64_t Generation = 0;
        int InsertAt = -1;
        bool operator==(const TShape&) const = default;
    };

    TClientDataSet& FTable;
    std::vector<TGridColumn> FColumns; // the visible ones
    std::vector<TField*> FFields;
    TShape FShape;
    int FLastCurrent = -1;
    bool FAppend = false;

    TShape ShapeNow() const;
    // The view position of a model row, skipping the row being inserted.
    std::size_t PositionOf(int row) const;
    QString CellText(int row, int column) const;
    bool Guarded(const std::function<void()>& action);
    void EmitRowChanged(int row);

    void DataSetChanged(TClientDataSet& dataSet) override;
    void UpdateRecord(TClientDataSet& dataSet) override;
};
