// The import commands of the editor window.
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <filesystem>

#include "db_grid.h"
#include "grid_model.h"

#include "import_file.h"
#include "mark_rows.h"
#include "marks_error.h"
#include "tfrm_main.h"

namespace {

// A mark needs a category: without one it would be stored where no view shows it.
void CheckCategory(TClientDataSet& cats, TClientDataSet& marks)
{
    if (cats.IsOpen())
        cats.SettleEdit();
    if (!cats.IsOpen() || !marks.IsOpen() || cats.RecordCount() == 0)
        throw EMarksError(TfrmMain::tr("There is no category to import into.").toStdString());
}

// Reads every file whole, then inserts all their marks as one step of the history
// and reports what the import did. The reading shows its progress over all the
// files' bytes; Cancel stops it before any row is inserted, and nothing is reported.
void ImportInto(TClientDataSet& marks, TEditHistory& history, const TIconCache& icons,
                const std::vector<std::string>& files, TDialogs& dialogs)
{
    std::vector<std::uint64_t> sizes;
    std::uint64_t total = 0;
    for (const std::string& file : files) {
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(file, error);
        total += sizes.emplace_back(error ? 0 : size);
    }
    TImportResult all;
    {
        std::unique_ptr<TProgress> progress = dialogs.ShowProgress(
            (files.size() == 1
                 ? TfrmMain::tr("Importing %1...").arg(QString::fromStdString(std::filesystem::path(files[0]).filename().string()))
                 : TfrmMain::tr("Importing %n files...", nullptr, static_cast<int>(files.size())))
                .toStdString());
        bool cancelled = false;
        std::uint64_t before = 0;
        try {
            for (size_t i = 0; i < files.size(); ++i) {
                ReadImportFile(files[i], all, [&](std::uint64_t done, std::uint64_t) {
                    cancelled = !progress->Step(before + done, total);
                    return !cancelled;
                });
                before += sizes[i];
            }
        } catch (const EMarksError&) {
            if (cancelled)
                return;
            throw;
        }
    }
    TRowNotes notes;
    int inserted = 0;
    {
        THistoryStep step(&history, "Import");
        inserted = InsertImportedMarks(marks, all, icons, &notes);
    }
    dialogs.Inform(ImportReportText(inserted, all, notes));
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
    mnImport = new QAction(tr("Import..."), this);
    menuBar()->insertAction(N1, mnImport);
    mnImportIntoCategory = PopupCats->addAction(tr("Import Into Category..."));
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
            ImportInto(CDMarks, FHistory, FIconCache, {*file}, Dialogs());
    });
}

void TfrmMain::ImportFiles(const std::vector<std::string>& paths)
{
    RunCommand([&] {
        CheckCategory(CDCats, CDMarks);
        ImportInto(CDMarks, FHistory, FIconCache, paths, Dialogs());
    });
}
