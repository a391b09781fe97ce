#include <QAction>
#include <QBoxLayout>
#include <QMenuBar>

#include "db_grid.h"
#include "find_bar.h"
#include "tfrm_main.h"

// Finding marks: Find... (Ctrl+F) opens the find bar above the marks grid; F3 and
// Shift+F3 go through the marks it found from anywhere in the window, shown or not.

void TfrmMain::BuildFind()
{
    FindBar = new TFindBar(CDCats, CDMarks, pn_Marks);
    FindBar->setObjectName("FindBar");
    FindBar->hide();
    static_cast<QBoxLayout*>(pn_Marks->layout())->insertWidget(0, FindBar);
    FindBar->OnGoTo = [this](const TRowRef& mark) { return GoToFound(mark); };
    FindBar->OnClosed = [this] { GRMarks->setFocus(Qt::OtherFocusReason); };

    mnFind = menuBar()->addAction(tr("Find..."));
    mnFind->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(mnFind, &QAction::triggered, this, [this] { FindBar->Open(); });
    auto* next = new QAction(this);
    next->setShortcut(QKeySequence(Qt::Key_F3));
    addAction(next);
    connect(next, &QAction::triggered, this, [this] { FindBar->GoToNext(1); });
    auto* previous = new QAction(this);
    previous->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    addAction(previous);
    connect(previous, &QAction::triggered, this, [this] { FindBar->GoToNext(-1); });
}

TFindJump TfrmMain::GoToFound(const TRowRef& mark)
{
    // Text still in a cell editor goes into its field first, as when moving in a grid.
    if (!GrCats->CommitEditor() || !GRMarks->CommitEditor())
        return TFindJump::Stopped;
    TFindJump result = TFindJump::Stopped;
    RunCommand([&] { result = GoToFoundMark(CDCats, CDMarks, mark) ? TFindJump::Landed : TFindJump::Gone; });
    if (result == TFindJump::Landed) {
        // A move that is not an extension: the selection goes, and the keys act on
        // the mark found.
        GRMarks->ClearSelection();
        GRMarks->setFocus(Qt::OtherFocusReason);
    }
    return result;
}
