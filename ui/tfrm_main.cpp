#include "tfrm_main.h"

#include <QApplication>
#include <QCloseEvent>

#include "db_grid.h"
#include "db_memo.h"

#include "kml_writer.h"
#include "kmz_package.h"
#include "marks_error.h"
#include "marks_schema.h"
#include "program.h"
#include "project_dir.h"
#include "reindex.h"
#include "wpt_writer.h"

std::string ErrorBoxText(const std::string& message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        return message + ".";
    return message;
}

TfrmMain::TfrmMain(std::unique_ptr<TDialogs> dialogs, QWidget* parent)
    : QMainWindow(parent), CDCats(CatsSchema()), CDMarks(MarksSchema()),
      FDialogs(dialogs ? std::move(dialogs) : std::make_unique<TQtDialogs>(this))
{
    CDMarks.SetMasterSource(&CDCats, "id");
    setWindowTitle("Edit Marks");
    BuildLayout();
    BuildMenu();
    BuildPopups();
    ConnectDragAndDrop();
    BuildImportCommands();
    BuildMap();
    BuildFind();
    setGeometry(526, 194, 930, 516);
    FitToScreen(*this);
}

TfrmMain::~TfrmMain()
{
    // The grids and the memo work on the tables, which as members are gone before
    // the base class deletes its child widgets: they go first, after an open editor
    // has given up the focus while the tables are still there.
    if (QWidget* focus = QApplication::focusWidget(); focus && isAncestorOf(focus))
        focus->clearFocus();
    delete centralWidget();
}

void TfrmMain::ShowError(const std::string& message)
{
    FDialogs->ShowErrorBox(ErrorBoxText(message));
}

void TfrmMain::RunCommand(const std::function<void()>& command)
{
    try {
        command();
    } catch (const EMarksError& e) {
        ShowError(e.what());
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

void TfrmMain::OpenProject(const std::string& dir)
{
    FProjectDir = ProjectDirOf(dir);
    FUnsavedAfterFailedSave = false;
    setWindowTitle(QString::fromStdString("Project :" + FProjectDir));
    GRMarks->ClearSelection();
    try {
        LoadIcons(FProjectDir, FIconCache);
    } catch (...) {
        FIconImages.Load(FIconCache);
        throw;
    }
    FIconImages.Load(FIconCache);
    CDCats.LoadTableFile(FProjectDir + kCatsFile);
    CDMarks.LoadTableFile(FProjectDir + kMarksFile);
    GrCats->setFocus();
}

void TfrmMain::Load1Click()
{
    RunCommand([this] { OpenProject(QCoreApplication::applicationDirPath().toStdString() + "/"); });
}

void TfrmMain::SaveProjectAndReport()
{
    bool merged = CDCats.PendingChangeCount() > 0 || CDMarks.PendingChangeCount() > 0 || FUnsavedAfterFailedSave;
    try {
        if (SaveProject(FProjectDir, CDCats, CDMarks) == TSaveResult::BackupFailed)
            FDialogs->Inform("Create Backup File Error");
        else
            FUnsavedAfterFailedSave = false;
    } catch (...) {
        FUnsavedAfterFailedSave = merged || FUnsavedAfterFailedSave;
        throw;
    }
}

void TfrmMain::Save1Click()
{
    RunCommand([this] { SaveProjectAndReport(); });
}

void TfrmMain::Reindex1Click()
{
    RunCommand([this] { ReindexMarks(CDMarks); });
}

void TfrmMain::New1Click()
{
    RunCommand([this] {
        TfrmMain& window = CreateEditorWindow();
        window.show();
        if (auto folder = FDialogs->ChooseFolder("Select Main Directory"))
            window.RunCommand([&] { window.OpenProject(*folder); });
        window.move(546, 214);
        FitToScreen(window);
    });
}

bool TfrmMain::FormCloseQuery()
{
    if (CDCats.PendingChangeCount() == 0 && CDMarks.PendingChangeCount() == 0 && !FUnsavedAfterFailedSave)
        return true;
    switch (FDialogs->AskYesNoCancel("Save Changes?", "Have changes...")) {
    case TAnswer::Yes:
        try {
            SaveProjectAndReport();
        } catch (const std::exception& e) {
            ShowError(e.what());
            return false;
        }
        return true;
    case TAnswer::No:
        return true;
    case TAnswer::Cancel:
        return false;
    }
    return false;
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    // Closing the main window ends the program, so the further windows with changes
    // are asked too; a refusal anywhere keeps every window open.
    const bool main = IsMainWindow(*this);
    if (!FormCloseQuery() || (main && !FurtherWindowsMayClose())) {
        event->ignore();
        return;
    }
    event->accept();
    if (main)
        EndProgram();
}

std::string TfrmMain::IconFolder()
{
    return QCoreApplication::applicationDirPath().toStdString() + "/MarksIcons/";
}

std::string TfrmMain::AskExportFile(const TExportFormat& format)
{
    return FDialogs->AskSaveFile(format.DefaultExt, format.FileName, format.Filter, FSaveFilterIndex).value_or("");
}

bool TfrmMain::ChooseExportFile(const TExportFormat& format, std::string& fileName)
{
    if (fileName.empty())
        fileName = AskExportFile(format);
    FExport.FExportFileChosen = !fileName.empty();
    return FExport.FExportFileChosen;
}

void TfrmMain::ExportKml(TExportScope scope, std::string fileName, const std::vector<TRowRef>& selectedRows)
{
    if (!ChooseExportFile(kKmlFormat, fileName))
        return;
    FExport.FKmzMode = false;
    const std::string icons = IconFolder();
    const TMarkReader mark(CDMarks);
    SaveWalkedDocument(kKmlDocument, fileName, FExport, [&] {
        WalkMarks(CDCats, CDMarks, FExport, scope, [&] { AddKmlPlacemark(FExport, mark.Read(), icons); }, selectedRows);
    });
}

void TfrmMain::ExportWpt(TExportScope scope, std::string fileName, const std::vector<TRowRef>& selectedRows)
{
    if (!ChooseExportFile(kWptFormat, fileName))
        return;
    const TMarkReader mark(CDMarks);
    SaveWalkedDocument(kWptHeader, fileName, FExport, [&] {
        WalkMarks(CDCats, CDMarks, FExport, scope, [&] { AddWptWaypoint(FExport, mark.Read()); }, selectedRows);
    });
}

void TfrmMain::ExportKmz(TExportScope scope, std::string fileName, const std::vector<TRowRef>& selectedRows)
{
    if (!ChooseExportFile(kKmzFormat, fileName))
        return;
    FExport.FKmzMode = true;
    const TMarkReader mark(CDMarks);
    WalkMarks(CDCats, CDMarks, FExport, scope, [&] { AddKmlPlacemark(FExport, mark.Read(), {}); }, selectedRows);
    WriteKmzPackage(FZipArchive, fileName, kKmlDocument, FExport.FExportText, FExport.FExportIcons, IconFolder());
}

void TfrmMain::ExportMp(TExportScope scope, std::string fileName, const std::vector<TRowRef>& selectedRows)
{
    if (!ChooseExportFile(kMpFormat, fileName))
        return;
    FIconTypes.LoadIconTypes(FProjectDir + "../MarksIcons/Icons.ini");
    const TMarkReader mark(CDMarks);
    SaveWalkedDocument(kMpHeader, fileName, FExport, [&] {
        WalkMarks(CDCats, CDMarks, FExport, scope, [&] { AddMpObject(FExport, mark.Read(), FIconTypes); }, selectedRows);
    });
}

void TfrmMain::ShowExportCount()
{
    if (FExport.FExportFileChosen)
        FDialogs->Inform(ExportCountText(FExport.FExportCount));
}

void TfrmMain::mnExportVisiblelKMLClick()
{
    RunCommand([this] {
        ExportKml(esVisible);
        ShowExportCount();
    });
}

void TfrmMain::mnExportVisibleKMZClick()
{
    RunCommand([this] {
        ExportKmz(esVisible);
        ShowExportCount();
    });
}

void TfrmMain::mnExportSelectedWPTClick()
{
    RunCommand([this] {
        ExportWpt(esVisible);
        ShowExportCount();
    });
}

void TfrmMain::mnExportVisiblelMPClick()
{
    RunCommand([this] {
        ExportMp(esVisible);
        ShowExportCount();
    });
}

void TfrmMain::mnExportCatalogToKmlClick()
{
    RunCommand([this] {
        ExportKml(esCategory);
        ShowExportCount();
    });
}

void TfrmMain::mnExportCatalogToWptClick()
{
    RunCommand([this] {
        ExportWpt(esCategory);
        ShowExportCount();
    });
}

void TfrmMain::ExportCatalogToKmzClick()
{
    RunCommand([this] {
        ExportKmz(esCategory);
        ShowExportCount();
    });
}

void TfrmMain::mnSaveSelectedToKmlClick()
{
    RunCommand([this] { ExportKml(esSelected, {}, GRMarks->SelectedRows()); });
}

void TfrmMain::mnSaveSelectedToWptClick()
{
    RunCommand([this] { ExportWpt(esSelected, {}, GRMarks->SelectedRows()); });
}

void TfrmMain::mnExportToKmzClick()
{
    RunCommand([this] { ExportKmz(esSelected, {}, GRMarks->SelectedRows()); });
}
