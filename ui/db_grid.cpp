#include "db_grid.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>

TGridSelectionModel::TGridSelectionModel(QAbstractItemModel* model, TDBGrid* grid)
    : QItemSelectionModel(model, grid), FGrid(grid)
{
}

void TGridSelectionModel::setCurrentIndex(const QModelIndex& index, QItemSelectionModel::SelectionFlags command)
{
    if (FGrid->AllowCurrentChange(index))
        QItemSelectionModel::setCurrentIndex(index, command);
}

TDBGrid::TDBGrid(TClientDataSet& table, std::vector<TGridColumn> columns, bool multiSelect, QWidget* parent)
    : QTableView(parent), FModel(new TGridModel(table, columns, this)), FDelegate(new TGridDelegate(this)),
      FIndicator(new TGridIndicator(11, this)), FMultiSelect(multiSelect)
{
    for (const TGridColumn& column : columns)
        if (column.Visible)
            FWidths.push_back(column.Width);
    setVerticalHeader(FIndicator);
    setModel(FModel);
    QItemSelectionModel* old = selectionModel();
    setSelectionModel(new TGridSelectionModel(FModel, this));
    delete old;
    setItemDelegate(FDelegate);

    // The highlight is painted from the current cell and the row selection; Qt's own
    // item selection is not used.
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setTabKeyNavigation(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setShowGrid(true);
    setFrameShape(QFrame::NoFrame);
    setContextMenuPolicy(Qt::CustomContextMenu);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    FIndicator->setSectionResizeMode(QHeaderView::Fixed);

    if (FMultiSelect) {
        FDelegate->IsRowSelected = [this](int row) { return IsRowSelected(row); };
        FIndicator->IsRowSelected = FDelegate->IsRowSelected;
    }
    FModel->BeforePost = [this] { CommitEditor(); };
    FModel->IsEditingRow = [this](int row) { return EditorOpen() && FDelegate->EditorIndex().row() == row; };
    connect(FModel, &TGridModel::RowRepaint, this, [this](int row) {
        viewport()->update(QRect(0, rowViewportPosition(row), viewport()->width(), rowHeight(row)));
        FIndicator->viewport()->update();
    });
    connect(FModel, &TGridModel::CurrentRowMoved, this, [this](int row) { SyncCurrent(row); });
    // A press on the indicator makes its row current, keeping the column.
    connect(FIndicator, &QHeaderView::sectionPressed, this, [this](int row) {
        selectionModel()->setCurrentIndex(FModel->index(row, ColumnToKeep(row)), QItemSelectionModel::NoUpdate);
    });
    connect(FDelegate, &TGridDelegate::EscapePressed, this, [this] { ClearSelection(); });
    connect(FDelegate, &TGridDelegate::DeleteRequested, this, [this] { DeleteCommand(); }, Qt::QueuedConnection);
    ApplyMetrics();
    SyncCurrent(FModel->CurrentRow());
}

void TDBGrid::ApplyMetrics()
{
    const double scale = logicalDpiX() / 96.0;
    const QFontMetrics metrics(font());
    // A data row is the text height plus 3 pixels plus the grid line; the title
    // row is the text height plus 4.
    const int rowHeight = metrics.height() + 3 + 1;
    FIndicator->setMinimumSectionSize(1);
    FIndicator->setDefaultSectionSize(rowHeight);
    FIndicator->setFixedWidth(qRound(11 * scale));
    horizontalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setFixedHeight(metrics.height() + 4);
    for (int column = 0; column < static_cast<int>(FWidths.size()); ++column)
        setColumnWidth(column, qRound(FWidths[static_cast<size_t>(column)] * scale));
}

void TDBGrid::SyncCurrent(int row, int column)
{
    // The indicator follows the current row and its state. Its sections are
    // repainted rather than reported changed, which would make the view lay out
    // and repaint everything.
    FIndicator->viewport()->update();
    FSyncing = true;
    if (row < 0) {
        selectionModel()->clearCurrentIndex();
    } else {
        if (column < 0)
            column = ColumnToKeep(row);
        const QModelIndex index = FModel->index(row, column);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        scrollTo(index);
    }
    FSyncing = false;
}

int TDBGrid::ColumnToKeep(int row) const
{
    if (currentIndex().isValid())
        return currentIndex().column();
    // A reset of the rows (an insert, another category) forgets the current cell:
    // the column stays where the person left it, and starts on the first one that
    // can be typed into.
    if (FColumn >= 0 && FColumn < FModel->columnCount())
        return FColumn;
    for (int column = 0; column < FModel->columnCount(); ++column)
        if (FModel->flags(FModel->index(row, column)) & Qt::ItemIsEditable)
            return column;
    return 0;
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (current.isValid())
        FColumn = current.column();
}

bool TDBGrid::AllowCurrentChange(const QModelIndex& index)
{
    if (FSyncing || !index.isValid())
        return true;
    if (!CommitEditor())
        return false;
    const int row = index.row();
    if (row == FModel->CurrentRow())
        return true;
    // The table moves first (posting the row left); the grid then follows the
    // table's cursor, wherever the post has put the rows.
    if (FModel->GoToModelRow(row))
        SyncCurrent(FModel->CurrentRow(), index.column());
    return false;
}

bool TDBGrid::CommitEditor()
{
    QLineEdit* editor = FDelegate->Editor();
    if (!editor)
        return true;
    if (!FModel->setData(FDelegate->EditorIndex(), editor->text(), Qt::EditRole)) {
        editor->setFocus();
        return false;
    }
    closeEditor(editor, QAbstractItemDelegate::NoHint);
    return true;
}

void TDBGrid::commitData(QWidget* editor)
{
    // Tab, Enter and a click elsewhere hand the editor's text in here before they
    // close the editor. A refused text keeps the editor open with the text typed, so
    // the person can mend it; the error has been shown by then.
    FRefusedEditor = nullptr;
    if (editor != FDelegate->Editor() || FSyncing)
        return;
    const QModelIndex index = FDelegate->EditorIndex();
    if (index.row() == FModel->CurrentRow() &&
        !FModel->setData(index, static_cast<QLineEdit*>(editor)->text(), Qt::EditRole))
        FRefusedEditor = editor;
}

void TDBGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (editor && editor == FRefusedEditor) {
        FRefusedEditor = nullptr;
        // Later: the focus may be on its way elsewhere right now.
        QTimer::singleShot(0, editor, [editor] { editor->setFocus(); });
        return;
    }
    FDelegate->ForgetEditor(editor);
    QTableView::closeEditor(editor, hint);
    DropUnchangedInsertOnLeave();
}

void TDBGrid::DropUnchangedInsertOnLeave()
{
    QWidget* focus = QApplication::focusWidget();
    if (!focus || focus == this || isAncestorOf(focus))
        return;
    if (FModel->Table().State() == TTableState::Insert && !FModel->Table().Modified())
        FModel->Cancel();
}

void TDBGrid::focusOutEvent(QFocusEvent* event)
{
    QTableView::focusOutEvent(event);
    // Switching to another window or opening a menu is not leaving the grid.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        DropUnchangedInsertOnLeave();
}

bool TDBGrid::IsRowSelected(int row) const
{
    return FMultiSelect && FSelection.Count() > 0 && FSelection.Contains(FModel->RefAt(row));
}

void TDBGrid::ClearSelection()
{
    FSelecting = false;
    if (FSelection.Count() == 0)
        return;
    FSelection.Clear();
    RepaintRows();
}

void TDBGrid::RepaintRows()
{
    viewport()->update();
    FIndicator->viewport()->update();
}

void TDBGrid::ExtendSelection(int direction)
{
    if (!CommitEditor())
        return;
    const int row = FModel->CurrentRow();
    const int target = row + direction;
    if (target < 0 || target >= FModel->rowCount())
        return;
    const TRowRef ref = FModel->RefAt(row);
    bool addAfter = true;
    if (!FSelecting) {
        FAnchor = ref;
        FSelection.Add(ref);
        FSelecting = true;
    } else {
        // Moving back towards the anchor deselects the row being left.
        addAfter = TClientDataSet::CompareRowRefs(ref, FAnchor) != -direction;
        if (!addAfter)
            FSelection.Remove(ref);
    }
    selectionModel()->setCurrentIndex(FModel->index(target, currentIndex().column()), QItemSelectionModel::NoUpdate);
    if (addAfter)
        FSelection.Add(FModel->RefAt(FModel->CurrentRow()));
    RepaintRows();
}

void TDBGrid::DeleteCommand()
{
    if (FModel->rowCount() == 0)
        return;
    const bool several = FMultiSelect && FSelection.Count() >= 2;
    std::string question = (several ? tr("Delete all selected records?") : tr("Delete record?")).toStdString();
    if (!several && RowDeleteQuestion)
        question = RowDeleteQuestion();
    if (OnConfirm && !OnConfirm(question))
        return;
    if (QLineEdit* editor = FDelegate->Editor())
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    std::vector<TRowRef> rows;
    if (several) {
        rows = FSelection.Rows();
        ClearSelection();
    } else {
        FSelection.Remove(FModel->RefAt(FModel->CurrentRow()));
    }
    if (!several && DeleteCurrentRow)
        DeleteCurrentRow();
    else
        FModel->DeleteRows(rows);
    RepaintRows();
}

void TDBGrid::Escape()
{
    if (FModel->Table().State() == TTableState::Edit || FModel->Table().State() == TTableState::Insert)
        FModel->Cancel();
    ClearSelection();
}

void TDBGrid::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    if (key == Qt::Key_Delete && ctrl) {
        DeleteCommand();
        return;
    }
    if (key == Qt::Key_Insert && !ctrl && !shift) {
        if (CommitEditor())
            FModel->Insert(false);
        return;
    }
    if (key == Qt::Key_Escape) {
        Escape();
        return;
    }
    if (key == Qt::Key_Space && event->modifiers() == Qt::NoModifier && IsCheckCell(currentIndex())) {
        FModel->ToggleFlag(currentIndex());
        return;
    }
    if (key == Qt::Key_Down && !ctrl && FModel->CurrentRow() == FModel->rowCount() - 1) {
        // Down on the last row appends a row, unless the last row is a new one that
        // is still unchanged.
        if (!CommitEditor())
            return;
        if (FModel->IsInsertRow(FModel->CurrentRow()) && !FModel->Table().Modified())
            return;
        if (!shift)
            ClearSelection();
        FModel->Insert(true);
        return;
    }
    if (FMultiSelect && shift && (key == Qt::Key_Up || key == Qt::Key_Down)) {
        ExtendSelection(key == Qt::Key_Down ? 1 : -1);
        return;
    }
    const bool rowMove = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
                         key == Qt::Key_PageDown || ((key == Qt::Key_Home || key == Qt::Key_End) && ctrl);
    if (rowMove) {
        // The editor's text goes in first: the base class would take the focus from
        // the editor, which closes it whether its text was taken or not.
        if (!CommitEditor())
            return;
        ClearSelection();
    }
    QTableView::keyPressEvent(event);
}

void TDBGrid::mousePressEvent(QMouseEvent* event)
{
    emit MouseDown(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    // A press on another cell first puts the editor's text into its field; a text
    // the field refuses keeps the editor and ignores the press.
    if (EditorOpen() && index != FDelegate->EditorIndex() && !CommitEditor())
        return;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool left = event->button() == Qt::LeftButton;
    // A click on a checkbox toggles it when the button goes up on the same cell, so
    // a press that starts a drag changes nothing.
    FCheckPressed = left && !ctrl && IsCheckCell(index) ? QPersistentModelIndex(index) : QPersistentModelIndex();
    if (left && !ctrl && index.isValid() && index == currentIndex()) {
        // A press on the current cell opens its editor.
        setFocus(Qt::MouseFocusReason);
        if (FMultiSelect) {
            FSelection.SelectOnly(FModel->RefAt(index.row()));
            FSelecting = false;
            RepaintRows();
        }
        if (!EditorOpen() && !FCheckPressed.isValid())
            edit(index);
        return;
    }
    const TRowRef pressed = index.isValid() ? FModel->RefAt(index.row()) : TRowRef{};
    QTableView::mousePressEvent(event);
    // Moving there may have posted or dropped the row left, and the rows below it
    // moved: the row pressed is found again by its reference, not by its number.
    if (!FMultiSelect || !left || !pressed.IsSet())
        return;
    const TRowRef ref = FModel->RefAt(FModel->CurrentRow());
    if (!ref.IsSet() || ref.Row != pressed.Row)
        return;
    if (ctrl)
        FSelection.Toggle(ref);
    else
        FSelection.SelectOnly(ref);
    FSelecting = false;
    RepaintRows();
}

void TDBGrid::mouseMoveEvent(QMouseEvent* event)
{
    event->ignore();
    emit MouseMove(event);
    // A handler that took the move ran a drag from it, which is over by now: the
    // view must not take the same move for a drag across rows back to where the
    // drag began.
    if (event->isAccepted())
        return;
    QTableView::mouseMoveEvent(event);
}

void TDBGrid::mouseReleaseEvent(QMouseEvent* event)
{
    emit MouseUp(event);
    QTableView::mouseReleaseEvent(event);
    const QModelIndex pressed = FCheckPressed;
    FCheckPressed = QPersistentModelIndex();
    if (event->button() == Qt::LeftButton && pressed.isValid() && pressed == currentIndex() &&
        indexAt(event->position().toPoint()) == pressed)
        FModel->ToggleFlag(pressed);
}

bool TDBGrid::IsCheckCell(const QModelIndex& index) const
{
    return index.isValid() && FModel->Column(index.column()).Kind == TColumnKind::Check &&
           (FModel->flags(index) & Qt::ItemIsEditable);
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A double click only reports the cell; it neither moves nor opens an editor.
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid())
        emit doubleClicked(index);
}

void TDBGrid::dragEnterEvent(QDragEnterEvent* event)
{
    event->ignore();
    emit DragOver(event);
}

void TDBGrid::dragMoveEvent(QDragMoveEvent* event)
{
    event->ignore();
    emit DragOver(event);
}

void TDBGrid::dragLeaveEvent(QDragLeaveEvent*)
{
    emit DragLeave();
}

void TDBGrid::dropEvent(QDropEvent* event)
{
    event->ignore();
    emit DragDrop(event);
}
