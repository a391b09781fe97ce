#include "tfrm_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>

#include "marks_error.h"
#include "marks_schema.h"
#include "program.h"
#include "project_dir.h"
#include "reindex.h"

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
    setGeometry(526, 194, 930, 516);
    BuildMenu();
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::BuildMenu()
{
    QMenuBar* bar = menuBar();
    Load1 = bar->addAction("Load");
    Save1 = bar->addAction("Save");
    Reindex1 = bar->addAction("Reindex");
    New1 = bar->addAction("New");
    connect(Load1, &QAction::triggered, this, [this] { Load1Click(); });
    connect(Save1, &QAction::triggered, this, [this] { Save1Click(); });
    connect(Reindex1, &QAction::triggered, this, [this] { Reindex1Click(); });
    connect(New1, &QAction::triggered, this, [this] { New1Click(); });
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
    LoadIcons(FProjectDir, FIconCache);
    CDCats.LoadTableFile(FProjectDir + kCatsFile);
    CDMarks.LoadTableFile(FProjectDir + kMarksFile);
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
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    if (IsMainWindow(*this))
        QApplication::quit();
}
