// The import commands of the editor window.
#include <QApplication>
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
std::string ImportInto(TClientDataSet& marks, TEditHistory& history, const TIconCache& icons,
                       const std::vector<std::string>& files)
{
    TBusyCursor busy;
    TImportResult all;
    for (const std::string& file : files) {
        TImportResult one = ReadImportFile(file);
        all.Skipped += one.Skipped;
        std::move(one.Marks.begin(), one.Marks.end(), std::back_inserter(all.Marks));
    }
    THistoryStep step(&history, "Import");
    return ImportCountText(InsertImportedMarks(marks, all, icons), all.Skipped);
}

// The files of a drag when every one is a local GPX, KML or KMZ file; empty for
// anything else.
std::vector<std::string> DraggedImportFiles(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    std::vector<std::string> files;
    for (const QUrl& url : data->urls()) {
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
}

bool TfrmMain::GrCatsFileDragOver(const QMimeData* data, const QPoint& pos)
{
    // The drop target follows the pointer as it does for marks.
    GrCatsDragOver(nullptr, pos);
    const QPoint cell = GridCellAt(*GrCats, pos);
    return cell.x() > 0 && cell.y() > 0 && !DraggedImportFiles(data).empty();
}

void TfrmMain::GrCatsFileDragDrop(const QMimeData* data, const QPoint& pos)
{
    FDropRow = -1;
    GrCats->viewport()->update();
    const std::vector<std::string> files = DraggedImportFiles(data);
    if (files.empty())
        return;
    bool moved = false;
    RunCommand([&] {
        // A pending category edit is posted first, since posting may move rows; the
        // row under the pointer is looked up afterwards.
        CDCats.SettleEdit();
        const QPoint cell = GridCellAt(*GrCats, pos);
        if (cell.x() > 0 && cell.y() > 0)
            moved = DSCats->GoToModelRow(GrCats->rowAt(0) + cell.y() - 1);
    });
    // After the drop has ended, so the program the files came from does not wait
    // while the import runs and its message is shown.
    if (moved)
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
            Dialogs().Inform(ImportInto(CDMarks, FHistory, FIconCache, {*file}));
    });
}

void TfrmMain::ImportFiles(const std::vector<std::string>& paths)
{
    RunCommand([&] {
        CheckCategory(CDCats, CDMarks);
        Dialogs().Inform(ImportInto(CDMarks, FHistory, FIconCache, paths));
    });
}
