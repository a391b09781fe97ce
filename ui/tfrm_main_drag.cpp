#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPointer>

#include <cstdlib>

#include "db_grid.h"
#include "mark_drop.h"
#include "marks_drag_data.h"
#include "tfrm_main.h"

// Drag and drop of marks: a drag starts in the marks grid and ends on a row of the
// categories grid, of this window (the marks move there) or of another one (they
// are copied there).

namespace {

// A drag must go further than this from the press, in at least one direction.
constexpr int kDragDistance = 10;

// Hands the drag events of the categories grid to the window's handlers: those of
// its cells (its viewport) and those of its title row and indicator column, which
// reach the grid itself. Positions become the grid's client pixels.
class TCatsDropFilter : public QObject {
public:
    explicit TCatsDropFilter(TfrmMain& window) : QObject(&window), FWindow(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            QWidget* source = TMarksDragData::SourceOf(drag->mimeData());
            const QPoint pos = ClientPos(watched, drag->position());
            // Files from the desktop are a case of their own beside marks.
            const bool files = !source && drag->mimeData()->hasUrls();
            const bool accept =
                files ? FWindow.GrCatsFileDragOver(drag->mimeData(), pos) : FWindow.GrCatsDragOver(source, pos);
            drag->setAccepted(accept);
            if (accept)
                drag->setDropAction(files || source->window() != &FWindow ? Qt::CopyAction : Qt::MoveAction);
            // Qt sends the moves over a widget only to one that took the drag when
            // it entered, and the drop target must follow the pointer over every
            // row, refused or not: every drag is taken in, and the answer for the
            // pointer's place is the one given to each move.
            if (event->type() == QEvent::DragEnter)
                drag->accept();
            return true;
        }
        case QEvent::DragLeave:
            // Leaving has no position; any point outside the cells stands for it.
            FWindow.GrCatsDragOver(nullptr, QPoint(-1, -1));
            return true;
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            QWidget* source = TMarksDragData::SourceOf(drop->mimeData());
            const bool files = !source && drop->mimeData()->hasUrls();
            if (files)
                FWindow.GrCatsFileDragDrop(drop->mimeData(), ClientPos(watched, drop->position()));
            else
                FWindow.GrCatsDragDrop(source, ClientPos(watched, drop->position()));
            drop->setAccepted(source != nullptr || files);
            return true;
        }
        default:
            return false;
        }
    }

private:
    TfrmMain& FWindow;

    QPoint ClientPos(QObject* watched, const QPointF& pos) const
    {
        QWidget* grid = FWindow.GrCats;
        auto* widget = static_cast<QWidget*>(watched);
        return widget == grid ? pos.toPoint() : widget->mapTo(grid, pos.toPoint());
    }
};

// The marks grid of an editor window (this one or another) a drag comes from, or
// null when the source is something else.
TDBGrid* MarksGridOf(QObject* source)
{
    auto* grid = qobject_cast<TDBGrid*>(source);
    return grid && grid->Model()->Table().Name() == "CDMarks" ? grid : nullptr;
}

} // namespace

QPoint GridCellAt(const TDBGrid& grid, const QPoint& pos)
{
    const QRect cells = grid.viewport()->geometry();
    const QRect indicators = grid.verticalHeader()->geometry();
    const QRect titles = grid.horizontalHeader()->geometry();
    int column = -1;
    if (pos.x() >= indicators.left() && pos.x() <= indicators.right())
        column = 0;
    else if (pos.x() >= cells.left() && pos.x() <= cells.right() && grid.columnAt(pos.x() - cells.left()) >= 0)
        column = grid.columnAt(pos.x() - cells.left()) + 1;
    int row = -1;
    if (pos.y() >= titles.top() && pos.y() <= titles.bottom())
        row = 0;
    else if (pos.y() >= cells.top() && pos.y() <= cells.bottom() && grid.rowAt(pos.y() - cells.top()) >= 0)
        row = grid.rowAt(pos.y() - cells.top()) - grid.rowAt(0) + 1;
    if (column < 0 || row < 0)
        return {-1, -1};
    return {column, row};
}

void TfrmMain::ConnectDragAndDrop()
{
    // The grid reports its cells' mouse events in the coordinates of its viewport.
    auto clientPos = [this](QMouseEvent* event) {
        return GRMarks->viewport()->mapTo(GRMarks, event->position().toPoint());
    };
    connect(GRMarks, &TDBGrid::MouseDown, this, [=, this](QMouseEvent* event) { GRMarksMouseDown(clientPos(event)); });
    connect(GRMarks, &TDBGrid::MouseMove, this, [=, this](QMouseEvent* event) {
        if (GRMarksMouseMove(event->buttons(), clientPos(event)))
            event->accept();
    });
    connect(GRMarks, &TDBGrid::MouseUp, this, [this] { GRMarksMouseUp(); });

    GrCats->setAcceptDrops(true);
    auto* filter = new TCatsDropFilter(*this);
    GrCats->installEventFilter(filter);
    GrCats->viewport()->installEventFilter(filter);
}

void TfrmMain::GRMarksMouseDown(const QPoint& pos)
{
    FDragStart = pos;
}

bool TfrmMain::GRMarksMouseMove(Qt::MouseButtons buttons, const QPoint& pos)
{
    if (!(buttons & Qt::LeftButton))
        return false;
    if (std::abs(pos.x() - FDragStart.x()) <= kDragDistance && std::abs(pos.y() - FDragStart.y()) <= kDragDistance)
        return false;
    if (GridCellAt(*GRMarks, pos).x() < 0)
        return false;
    if (GRMarks->EditorOpen())
        return false;
    FDragStart = pos;
    StartMarksDrag();
    return true;
}

void TfrmMain::StartMarksDrag()
{
    // The drag starts here and now: the platform's own start distance does not add
    // to ours. Qt releases the drag object when the drag is over.
    auto* drag = new QDrag(GRMarks);
    drag->setMimeData(new TMarksDragData(GRMarks));
    // The drag runs its own event loop, through which this window may go.
    const QPointer<TfrmMain> window(this);
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
    if (window)
        GRMarksEndDrag();
}

void TfrmMain::GRMarksMouseUp()
{
    FDropRow = -1;
    GrCats->viewport()->update();
}

void TfrmMain::GRMarksEndDrag()
{
    FDropRow = -1;
    GrCats->viewport()->update();
}

bool TfrmMain::GrCatsDragOver(QObject* source, const QPoint& pos)
{
    const QPoint cell = GridCellAt(*GrCats, pos);
    const bool accept = MarksGridOf(source) && cell.x() > 0 && cell.y() > 0;
    if (cell.y() != FDropRow) {
        FDropRow = cell.y();
        GrCats->viewport()->repaint();
    }
    return accept;
}

void TfrmMain::GrCatsDragDrop(QObject* source, const QPoint& pos)
{
    FDropRow = -1;
    TDBGrid* grid = MarksGridOf(source);
    const QPoint cell = GridCellAt(*GrCats, pos);
    if (grid && cell.x() > 0 && cell.y() > 0) {
        // The category the grid shows under the pointer, and the selection, as they
        // are now: the drop posts pending edits, and the grids follow their tables
        // when it ends.
        const TRowRef category = DSCats->RefAt(GrCats->rowAt(0) + cell.y() - 1);
        const std::vector<TRowRef> selection = grid->SelectedRows();
        // Moving is a step of this window; so is copying from another window, whose
        // own tables do not change.
        RunCommand([&] {
            THistoryStep step(&FHistory, &grid->Model()->Table() == &CDMarks ? "Move" : "Copy");
            DropMarks(CDCats, category, CDMarks, {grid->Model()->Table(), selection});
        });
    }
    GrCats->viewport()->update();
}
