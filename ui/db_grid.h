#pragma once

#include <QItemSelectionModel>
#include <QPointer>
#include <QTableView>

#include <functional>
#include <string>

#include "grid_columns.h"
#include "grid_delegate.h"
#include "grid_indicator.h"
#include "grid_model.h"
#include "row_selection.h"

class TDBGrid;

// Lets the grid decide whether the current cell may move: the open editor's text
// must go into its field, and leaving a row must post it, before the move happens.
class TGridSelectionModel : public QItemSelectionModel {
    Q_OBJECT

public:
    TGridSelectionModel(QAbstractItemModel* model, TDBGrid* grid);
    void setCurrentIndex(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override;

private:
    TDBGrid* FGrid;
};

// A data grid bound to a table: the view paints through its delegate and forwards
// input to the table through its model. The table's current row is the grid's
// current row. A grid made with multiSelect keeps a selection of rows as the marks
// grid does.
class TDBGrid : public QTableView {
    Q_OBJECT

public:
    TDBGrid(TClientDataSet& table, std::vector<TGridColumn> columns, bool multiSelect, QWidget* parent = nullptr);

    TGridModel* Model() const { return FModel; }
    TGridDelegate* Delegate() const { return FDelegate; }
    TGridIndicator* Indicator() const { return FIndicator; }

    // The multi-selection, in view order.
    const std::vector<TRowRef>& SelectedRows() const { return FSelection.Rows(); }
    bool IsRowSelected(int row) const;
    void ClearSelection();

    // Puts the open editor's text into its field and closes it; false, with the
    // editor left open, when the field refuses the text.
    bool CommitEditor();
    bool EditorOpen() const { return FDelegate->Editor() != nullptr; }

    // Asks before deleting; set by the window (true: go ahead).
    std::function<bool(const std::string& question)> OnConfirm;
    // Where the current row takes more with it than itself (a category its marks):
    // the question before deleting it, and the deletion. Unset: "Delete record?" and
    // the row alone.
    std::function<std::string()> RowDeleteQuestion;
    std::function<void()> DeleteCurrentRow;

    // Whether the current cell may move to index (called by the selection model).
    bool AllowCurrentChange(const QModelIndex& index);

signals:
    // Raw mouse and drag events, for drag and drop of rows between grids. A handler
    // of MouseMove accepts the event when it ran a drag from it.
    void MouseDown(QMouseEvent* event);
    void MouseMove(QMouseEvent* event);
    void MouseUp(QMouseEvent* event);
    void DragOver(QDragMoveEvent* event);
    void DragLeave();
    void DragDrop(QDropEvent* event);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    TGridModel* FModel;
    TGridDelegate* FDelegate;
    TGridIndicator* FIndicator;
    std::vector<int> FWidths; // per model column, at 96 dpi
    bool FMultiSelect;
    TRowSelection FSelection;
    // Shift+Up/Down: the row where the extension began, while it goes on.
    bool FSelecting = false;
    TRowRef FAnchor;
    bool FSyncing = false;
    // The column of the last current cell, kept through resets of the rows.
    int FColumn = -1;
    // The checkbox cell the left button went down on.
    QPersistentModelIndex FCheckPressed;
    // The editor whose text its field has just refused: it stays open.
    QPointer<QWidget> FRefusedEditor;

    // Column widths, row height and title height for the grid's font and the
    // screen's resolution (widths are defined at 96 dpi).
    void ApplyMetrics();
    bool IsCheckCell(const QModelIndex& index) const;
    void SyncCurrent(int row, int column = -1);
    // The column the current cell takes on a row when none is given.
    int ColumnToKeep(int row) const;
    bool MoveToRow(int row);
    void ExtendSelection(int direction);
    void DeleteCommand();
    void Escape();
    void RepaintRows();
    // A new row left unchanged is dropped when the focus leaves the grid.
    void DropUnchangedInsertOnLeave();
};
