#include "tfrm_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>

#include "db_grid.h"
#include "db_memo.h"

#include "geojson_writer.h"
#include "gpx_writer.h"
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
    setWindowTitle(tr("Edit Marks"));
    BuildLayout();
    BuildMenu();
    BuildPopups();
    ConnectDragAndDrop();
    BuildImportCommands();
    BuildMap();
    BuildFind();
    UpdateCommands();
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
    } catch (...) {
        ShowError(ErrorMessageOf());
    }
}

void TfrmMain::OpenProject(const std::string& dir)
{
    FProjectDir = ProjectDirOf(dir);
    FUnsavedAfterFailedSave = false;
    FHistory.Clear();
    setWindowTitle(tr("Project :%1").arg(QString::fromStdString(FProjectDir)));
    GRMarks->ClearSelection();
    try {
        LoadIcons(FProjectDir, FIconCache);
    } catch (...) {
        FIconImages.Load(FIconCache);
        throw;
    }
    FIconImages.Load(FIconCache);
    // Each file's identity is taken before it is read: a write by another program
    // from then on is noticed when the window saves.
    FCatsFile = FileIdentityOf(FProjectDir + kCatsFile);
    CDCats.LoadTableFile(FProjectDir + kCatsFile);
    FMarksFile = FileIdentityOf(FProjectDir + kMarksFile);
    CDMarks.LoadTableFile(FProjectDir + kMarksFile);
    FHistory.Clear();
    GrCats->setFocus();
}

void TfrmMain::Load1Click()
{
    // Loading replaces the tables: changes not yet saved are asked about first, as
    // closing does, and stay when the save they were to go into did not happen.
    if (!PostTyping())
        return;
    if (HasUnsavedChanges()) {
        switch (FDialogs->AskYesNoCancel(tr("Save Changes?").toStdString(), tr("Have changes...").toStdString())) {
        case TAnswer::Yes:
            try {
                if (!SaveProjectAndReport())
                    return;
            } catch (...) {
                ShowError(ErrorMessageOf());
                return;
            }
            break;
        case TAnswer::No:
            break;
        case TAnswer::Cancel:
            return;
        }
    }
    RunCommand([this] { OpenProject(ProgramFolder()); });
}

bool TfrmMain::MayOverwriteOtherChanges()
{
    if (FProjectDir.empty())
        return true;
    // A file that is gone is not asked about: its backup copy fails and says so.
    auto changedSince = [](const std::string& path, const TFileIdentity& remembered) {
        const TFileIdentity now = FileIdentityOf(path);
        return now.Exists && now != remembered;
    };
    std::vector<std::string> changed;
    if (CDCats.IsOpen() && changedSince(FProjectDir + kCatsFile, FCatsFile))
        changed.push_back(FProjectDir + kCatsFile);
    if (CDMarks.IsOpen() && changedSince(FProjectDir + kMarksFile, FMarksFile))
        changed.push_back(FProjectDir + kMarksFile);
    if (changed.empty())
        return true;
    const QString text =
        changed.size() == 1
            ? tr("The file \"%1\" was changed by another program after this window loaded or saved it.")
                  .arg(QString::fromStdString(changed[0]))
            : tr("The files \"%1\" and \"%2\" were changed by another program after this window loaded or saved them.")
                  .arg(QString::fromStdString(changed[0]), QString::fromStdString(changed[1]));
    return FDialogs->AskOkCancel((text + " " + tr("Overwrite the other program's changes?")).toStdString());
}

void TfrmMain::RememberTableFiles()
{
    if (FProjectDir.empty())
        return;
    FCatsFile = FileIdentityOf(FProjectDir + kCatsFile);
    FMarksFile = FileIdentityOf(FProjectDir + kMarksFile);
}

bool TfrmMain::PostTyping()
{
    for (TDBGrid* grid : {GrCats, GRMarks})
        if (!grid->CommitEditor())
            return false;
    try {
        // Posting a row takes the memo's text too.
        CDMarks.SettleEdit();
        CDCats.SettleEdit();
    } catch (...) {
        ShowError(ErrorMessageOf());
        return false;
    }
    return true;
}

bool TfrmMain::HasUnsavedChanges() const
{
    return CDCats.PendingChangeCount() > 0 || CDMarks.PendingChangeCount() > 0 || FUnsavedAfterFailedSave;
}

bool TfrmMain::SaveProjectAndReport()
{
    if (!MayOverwriteOtherChanges())
        return false;
    bool merged = HasUnsavedChanges();
    try {
        if (SaveProject(FProjectDir, CDCats, CDMarks) == TSaveResult::BackupFailed) {
            FDialogs->Inform(tr("Create Backup File Error").toStdString());
            return false;
        }
        FUnsavedAfterFailedSave = false;
    } catch (...) {
        FUnsavedAfterFailedSave = merged || FUnsavedAfterFailedSave;
        // A failed save may have put an old file back itself.
        RememberTableFiles();
        throw;
    }
    RememberTableFiles();
    return true;
}

void TfrmMain::Save1Click()
{
    RunCommand([this] { SaveProjectAndReport(); });
}

void TfrmMain::Reindex1Click()
{
    RunCommand([this] { FHistory.Renumber(CDMarks, [this] { ReindexMarks(CDMarks); }, "Reindex"); });
}

void TfrmMain::Undo1Click()
{
    if (!PostTyping())
        return;
    RunCommand([this] { FHistory.Undo(); });
    HistoryMoved();
}

void TfrmMain::Redo1Click()
{
    if (!PostTyping())
        return;
    RunCommand([this] { FHistory.Redo(); });
    HistoryMoved();
}

void TfrmMain::HistoryMoved()
{
    GRMarks->ClearSelection();
    FSelectionCategory = CDCats.FieldNamed("id").AsText();
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    // The keys are taken as they reach a part of this window, before the part (a
    // cell editor, the memo) would undo its own typing, and also while the menu
    // items are off: typing not yet posted is a step to undo. The override keeps
    // the menu items' shortcuts from taking the key as well.
    const bool key = event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress;
    if (!key || !watched->isWidgetType() || !isAncestorOf(static_cast<QWidget*>(watched)))
        return QMainWindow::eventFilter(watched, event);
    const auto* press = static_cast<QKeyEvent*>(event);
    const bool undo = press->matches(QKeySequence::Undo);
    const bool redo = press->matches(QKeySequence::Redo) ||
                      press->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Y);
    if (!undo && !redo)
        return QMainWindow::eventFilter(watched, event);
    event->accept();
    if (event->type() == QEvent::KeyPress)
        undo ? Undo1Click() : Redo1Click();
    return true;
}

namespace {

// Whether a window other than except shows the project folder dir (the same
// folder also when reached through another path).
bool IsOpenInAnotherWindow(const std::string& dir, const TfrmMain& except)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        const auto* window = qobject_cast<const TfrmMain*>(widget);
        if (!window || window == &except || !window->isVisible() || window->FProjectDir.empty())
            continue;
        std::error_code error;
        if (window->FProjectDir == dir || std::filesystem::equivalent(window->FProjectDir, dir, error))
            return true;
    }
    return false;
}

} // namespace

void TfrmMain::New1Click()
{
    RunCommand([this] {
        TfrmMain& window = CreateEditorWindow();
        window.show();
        auto folder = FDialogs->ChooseFolder(tr("Select Main Directory").toStdString());
        // Two windows on one folder would each save over the other's work.
        if (folder && IsOpenInAnotherWindow(ProjectDirOf(*folder), window) &&
            !FDialogs->AskOkCancel(tr("The folder \"%1\" is already open in another window, and a Save in either "
                                      "window overwrites what the other saved. Open it in this window as well?")
                                       .arg(QString::fromStdString(ProjectDirOf(*folder)))
                                       .toStdString()))
            folder.reset();
        if (folder)
            window.RunCommand([&] { window.OpenProject(*folder); });
        window.move(546, 214);
        FitToScreen(window);
    });
}

bool TfrmMain::FormCloseQuery()
{
    // Typing not yet posted counts as a change; a value that cannot be posted keeps
    // the window open with its error.
    if (!PostTyping())
        return false;
    if (!HasUnsavedChanges())
        return true;
    switch (FDialogs->AskYesNoCancel(tr("Save Changes?").toStdString(), tr("Have changes...").toStdString())) {
    case TAnswer::Yes:
        try {
            return SaveProjectAndReport();
        } catch (...) {
            ShowError(ErrorMessageOf());
            return false;
        }
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
    return ProgramFolder() + "MarksIcons/";
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
    ExportKmzPackage(FZipArchive, fileName, CDCats, CDMarks, FExport, scope, selectedRows, IconFolder());
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

void TfrmMain::ExportGpx(TExportScope scope, std::string fileName, const std::vector<TRowRef>& selectedRows)
{
    if (!ChooseExportFile(kGpxFormat, fileName))
        return;
    SaveWalkedDocument(kGpxDocument, fileName, FExport,
                       [&] { WalkGpx(CDCats, CDMarks, FExport, scope, selectedRows); });
}

void TfrmMain::ExportGeoJson(TExportScope scope, std::string fileName, const std::vector<TRowRef>& selectedRows)
{
    if (!ChooseExportFile(kGeoJsonFormat, fileName))
        return;
    SaveWalkedDocument(kGeoJsonDocument, fileName, FExport,
                       [&] { WalkGeoJson(CDCats, CDMarks, FExport, scope, selectedRows); });
}

void TfrmMain::ShowExportCount()
{
    if (FExport.FExportFileChosen)
        FDialogs->Inform(tr("Exported %n objects", nullptr, FExport.FExportCount).toStdString());
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

void TfrmMain::mnExportVisibleGPXClick()
{
    RunCommand([this] {
        ExportGpx(esVisible);
        ShowExportCount();
    });
}

void TfrmMain::mnExportVisibleGeoJSONClick()
{
    RunCommand([this] {
        ExportGeoJson(esVisible);
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

void TfrmMain::mnExportCatalogToGpxClick()
{
    RunCommand([this] {
        ExportGpx(esCategory);
        ShowExportCount();
    });
}

void TfrmMain::mnExportCatalogToGeoJsonClick()
{
    RunCommand([this] {
        ExportGeoJson(esCategory);
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

void TfrmMain::mnSaveSelectedToGpxClick()
{
    RunCommand([this] { ExportGpx(esSelected, {}, GRMarks->SelectedRows()); });
}

void TfrmMain::mnSaveSelectedToGeoJsonClick()
{
    RunCommand([this] { ExportGeoJson(esSelected, {}, GRMarks->SelectedRows()); });
}
