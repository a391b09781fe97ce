// The import commands of the editor window.
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

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
