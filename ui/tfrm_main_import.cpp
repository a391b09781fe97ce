// The import commands of the editor window.
#include <QApplication>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include "db_grid.h"
#include "grid_model.h"

#include "import_file.h"
#include "mark_rows.h"
#include "marks_error.h"
#include "tfrm_main.h"

namespace {

// A wait cursor while the files are read and inserted.
class TBusyCursor {
public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// A mark needs a category: without one it would be stored where no view shows it.
void CheckCategory(TClientDataSet& cats, TClientDataSet& marks)
{
    if (cats.IsOpen())
        cats.SettleEdit();
    if (!cats.IsOpen() || !marks.IsOpen() || cats.RecordCount() == 0)
        throw EMarksError("There is no category to import into.");
}

// Reads every file whole, then inserts all their marks; the counts for the message.
std::string ImportInto(TClientDataSet& marks, const TIconCache& icons, const std::vector<std::string>& files)
{
    TBusyCursor busy;
    TImportResult all;
    for (const std::string& file : files) {
        TImportResult one = ReadImportFile(file);
        all.Skipped += one.Skipped;
        std::move(one.Marks.begin(), one.Marks.end(), std::back_inserter(all.Marks));
    }
    return ImportCountText(InsertImportedMarks(marks, all, icons), all.Skipped);
}

// The files of a drag from outside the program when every one is a local GPX, KML or
// KMZ file; empty for anything else, marks dragged from a grid among them.
std::vector<std::string> DraggedImportFiles(const QDropEvent* event)
{
    if (event->source() || !event->mimeData()->hasUrls())
        return {};
    std::vector<std::string> files;
    for (const QUrl& url : event->mimeData()->urls()) {
        const std::string file = url.toLocalFile().toStdString();
        if (!url.isLocalFile() || !IsImportFileName(file))
            return {};
        files.push_back(file);
    }
    return files;
}

} // namespace

void TfrmMain::BuildImportCommands()
{
    // After the Export submenu in the main menu, last in the categories' popup.
    mnImport = new QAction("Import...", this);
    menuBar()->insertAction(N1, mnImport);
    mnImportIntoCategory = PopupCats->addAction("Import Into Category...");
    connect(mnImport, &QAction::triggered, this, [this] { mnImportClick(); });
    connect(mnImportIntoCategory, &QAction::triggered, this, [this] { mnImportIntoCategoryClick(); });
    // Files dragged from the desktop onto a category; drags of marks are left to
    // the marks' own handlers.
    GrCats->setAcceptDrops(true);
    connect(GrCats, &TDBGrid::DragOver, this, [this](QDragMoveEvent* event) { GrCatsFileDragOver(event); });
    connect(GrCats, &TDBGrid::DragLeave, this, [this] { SetFileDropRow(-1); });
    connect(GrCats, &TDBGrid::DragDrop, this, [this](QDropEvent* event) { GrCatsFileDragDrop(event); });
}

void TfrmMain::SetFileDropRow(int row)
{
    const int dropRow = row < 0 ? 0 : row - GrCats->rowAt(0) + 1;
    if (dropRow == FDropRow)
        return;
    FDropRow = dropRow;
    GrCats->viewport()->update();
}

void TfrmMain::GrCatsFileDragOver(QDragMoveEvent* event)
{
    if (DraggedImportFiles(event).empty())
        return;
    const int row = GrCats->rowAt(event->position().toPoint().y());
    SetFileDropRow(row);
    if (row < 0) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TfrmMain::GrCatsFileDragDrop(QDropEvent* event)
{
    const std::vector<std::string> files = DraggedImportFiles(event);
    if (files.empty())
        return;
    SetFileDropRow(-1);
    const int row = GrCats->rowAt(event->position().toPoint().y());
    if (row < 0 || !DSCats->GoToModelRow(row)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // After the drop has ended, so the program the files came from does not wait
    // while the import runs and its message is shown.
    QTimer::singleShot(0, this, [this, files] { ImportFiles(files); });
}

void TfrmMain::mnImportClick()
{
    mnImportIntoCategoryClick();
}

void TfrmMain::mnImportIntoCategoryClick()
{
    RunCommand([this] {
        CheckCategory(CDCats, CDMarks);
        if (std::optional<std::string> file = Dialogs().AskOpenFile(kImportFilter))
            Dialogs().Inform(ImportInto(CDMarks, FIconCache, {*file}));
    });
}

void TfrmMain::ImportFiles(const std::vector<std::string>& paths)
{
    RunCommand([&] {
        CheckCategory(CDCats, CDMarks);
        Dialogs().Inform(ImportInto(CDMarks, FIconCache, paths));
    });
}
