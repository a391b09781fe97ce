#include "tfrm_main.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <deque>
#include <filesystem>
#include <tuple>
#include <regex>
#include <sstream>

#include "file_io.h"
#include "marks_schema.h"
#include "mark_geometry.h"
#include "wpt_writer.h"
#include "mp_writer.h"
#include "kml_writer.h"
#include "program.h"
#include "project_dir.h"
#include "ui_test_support.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSample = fs::path(MARKS_SOURCE_DIR) / "sample";

struct TWindowTest : ::testing::Test {
    fs::path Root = fs::temp_directory_path() /
                    ("marks-window-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::path Dir = Root / "project";
    TScriptedDialogs* Dialogs = nullptr;
    std::unique_ptr<TfrmMain> Window;

    void SetUp() override
    {
        fs::remove_all(Root);
        CopySampleProject(Dir);
        auto dialogs = std::make_unique<TScriptedDialogs>();
        Dialogs = dialogs.get();
        Window = std::make_unique<TfrmMain>(std::move(dialogs));
    }
    void TearDown() override
    {
        Window.reset();
        fs::remove_all(Root);
    }

    void EditFirstCategoryName(const char* name)
    {
        Window->CDCats.GoFirst();
        Window->CDCats.BeginEdit();
        Window->CDCats.FieldNamed("name").SetAsText(name);
        Window->CDCats.PostRow();
    }
};

} // namespace

TEST_F(TWindowTest, OpeningGivesOneTrailingSeparatorAndLoadsEverything)
{
    EXPECT_EQ(Window->windowTitle().toStdString(), "Edit Marks");
    Window->OpenProject(Dir.string());
    const std::string expected = Dir.string() + "/";
    EXPECT_EQ(Window->FProjectDir, expected);
    EXPECT_EQ(Window->windowTitle().toStdString(), "Project :" + expected);
    Window->OpenProject(Dir.string() + "//");
    EXPECT_EQ(Window->FProjectDir, expected);
    Window->OpenProject((Dir / "MarksIcons" / "..").string());
    EXPECT_EQ(Window->FProjectDir, expected);

    ASSERT_EQ(Window->FIconCache.size(), 6u);
    EXPECT_EQ(Window->FIconCache[0].Name, "Fuel.PNG"); // byte order of names
    EXPECT_EQ(Window->FIconCache[0].Picture.Width, 16);
    EXPECT_NE(FindIcon(Window->FIconCache, "FUEL.png"), nullptr);
    EXPECT_TRUE(Window->CDCats.IsOpen());
    EXPECT_GT(Window->CDMarks.RecordCount(), 0u);

    fs::remove_all(Dir / "MarksIcons");
    Window->OpenProject(Dir.string());
    EXPECT_TRUE(Window->FIconCache.empty());
    EXPECT_TRUE(Window->CDMarks.IsOpen());
}

TEST_F(TWindowTest, OpeningFailures)
{
    WriteFileAtomically(Dir / "MarksIcons" / "zz.png", "not a picture");
    Window->RunCommand([&] { Window->OpenProject(Dir.string()); });
    ASSERT_EQ(Dialogs->Shown.size(), 1u);
    EXPECT_NE(Dialogs->Shown[0].find("zz.png"), std::string::npos);
    EXPECT_EQ(Window->FIconCache.size(), 6u); // the icons before it stay
    EXPECT_FALSE(Window->CDCats.IsOpen());

    fs::remove(Dir / "MarksIcons" / "zz.png");
    fs::remove(Dir / kMarksFile);
    Window->RunCommand([&] { Window->OpenProject(Dir.string()); });
    EXPECT_EQ(Dialogs->Shown.back(),
              "error: Cannot open file \"" + (Dir / kMarksFile).string() + "\". No such file or directory.");
    EXPECT_TRUE(Window->CDCats.IsOpen());
    EXPECT_FALSE(Window->CDMarks.IsOpen());
}

TEST_F(TWindowTest, SaveWritesBackupsThenBothTables)
{
    Window->OpenProject(Dir.string());
    const std::string oldCats = ReadWholeFile(Dir / kCatsFile);
    const std::string oldMarks = ReadWholeFile(Dir / kMarksFile);
    EditFirstCategoryName("Renamed");
    Window->CDMarks.GoFirst();
    Window->CDMarks.DeleteRow();
    Window->Save1Click();
    EXPECT_TRUE(Dialogs->Shown.empty());
    EXPECT_EQ(ReadWholeFile(Dir / kCatsBackup), oldCats);
    EXPECT_EQ(ReadWholeFile(Dir / kMarksBackup), oldMarks);
    EXPECT_EQ(Window->CDCats.PendingChangeCount(), 0);
    EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 0);
    EXPECT_EQ(ReadWholeFile(Dir / kCatsFile), Window->CDCats.PacketText());
    EXPECT_NE(ReadWholeFile(Dir / kCatsFile).find("name=\"Renamed\""), std::string::npos);
    EXPECT_EQ(ReadWholeFile(Dir / kMarksFile).size() < oldMarks.size(), true);

    // No directory open: refused with a message.
    TfrmMain empty(std::make_unique<TScriptedDialogs>());
    auto* emptyDialogs = static_cast<TScriptedDialogs*>(&empty.Dialogs());
    empty.Save1Click();
    ASSERT_EQ(emptyDialogs->Shown.size(), 1u);
    EXPECT_EQ(emptyDialogs->Shown[0], "error: No project directory is open. Load a project before saving.");
}

TEST_F(TWindowTest, MissingMarksFileStopsTheSaveAfterTheFirstBackup)
{
    Window->OpenProject(Dir.string());
    EditFirstCategoryName("Changed");
    fs::remove(Dir / kMarksFile);
    const std::string oldCats = ReadWholeFile(Dir / kCatsFile);
    Window->Save1Click();
    EXPECT_EQ(Dialogs->Shown, std::vector<std::string>{"info: Create Backup File Error"});
    EXPECT_TRUE(fs::exists(Dir / kCatsBackup));
    EXPECT_EQ(ReadWholeFile(Dir / kCatsFile), oldCats);
    EXPECT_EQ(Window->CDCats.PendingChangeCount(), 1);

    // Yes to the close question meets the same failure: the window stays with
    // its change rather than closing and losing it.
    Dialogs->Answers = {TAnswer::Yes};
    EXPECT_FALSE(Window->FormCloseQuery());
    EXPECT_EQ(Window->CDCats.PendingChangeCount(), 1);
}

TEST_F(TWindowTest, FailedWriteLeavesBothFilesAndStillAsksOnClose)
{
    Window->OpenProject(Dir.string());
    EditFirstCategoryName("Changed");
    Window->CDMarks.GoFirst();
    Window->CDMarks.BeginEdit();
    Window->CDMarks.FieldNamed("descr").SetAsText(std::string(100000, 'x'));
    Window->CDMarks.PostRow();
    const std::string oldCats = ReadWholeFile(Dir / kCatsFile);
    const std::string oldMarks = ReadWholeFile(Dir / kMarksFile);

    // A file size limit lets the backups (copies of the old files) through and
    // stops the larger new marks file half-way.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = oldMarks.size() + 1000;
    setrlimit(RLIMIT_FSIZE, &limit);
    Window->Save1Click();
    setrlimit(RLIMIT_FSIZE, &saved);

    ASSERT_EQ(Dialogs->Shown.size(), 1u);
    EXPECT_EQ(Dialogs->Shown[0].rfind("error: Cannot create file \"" + (Dir / kMarksFile).string() + "\". File too large", 0), 0u);
    EXPECT_EQ(ReadWholeFile(Dir / kCatsFile), oldCats);
    EXPECT_EQ(ReadWholeFile(Dir / kMarksFile), oldMarks);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 5); // no temporary files

    // The logs are merged, but the window knows the changes are not on disk.
    Dialogs->Answers = {TAnswer::Cancel, TAnswer::Yes};
    EXPECT_FALSE(Window->FormCloseQuery());
    EXPECT_TRUE(Window->FormCloseQuery());
    EXPECT_NE(ReadWholeFile(Dir / kCatsFile).find("name=\"Changed\""), std::string::npos);
    EXPECT_TRUE(Window->FormCloseQuery());
}

TEST_F(TWindowTest, SaveAsksBeforeOverwritingWhatAnotherWriterSaved)
{
    // Two windows on one folder, as two copies of the editor would be.
    Window->OpenProject(Dir.string());
    auto otherDialogs = std::make_unique<TScriptedDialogs>();
    TScriptedDialogs& asked = *otherDialogs;
    TfrmMain other(std::move(otherDialogs));
    other.OpenProject(Dir.string());
    EditFirstCategoryName("Mine");
    Window->Save1Click();
    EXPECT_TRUE(Dialogs->Shown.empty());
    const std::string saved = ReadWholeFile(Dir / kCatsFile);

    // The other window's save would overwrite it: Cancel saves nothing, not even
    // a backup, and keeps the change; while closing, it keeps the window open.
    other.CDMarks.GoFirst();
    other.CDMarks.DeleteRow();
    asked.Confirms = {false};
    other.Save1Click();
    const std::string question = "confirm: The files \"" + (Dir / kCatsFile).string() + "\" and \"" +
                                 (Dir / kMarksFile).string() +
                                 "\" were changed by another program after this window loaded or saved them. "
                                 "Overwrite the other program's changes?";
    EXPECT_EQ(asked.Shown, std::vector<std::string>{question});
    EXPECT_EQ(ReadWholeFile(Dir / kCatsFile), saved);
    EXPECT_EQ(ReadWholeFile(Dir / kCatsBackup), ReadWholeFile(kSample / kCatsFile));
    EXPECT_EQ(other.CDMarks.PendingChangeCount(), 1);
    asked.Answers = {TAnswer::Yes};
    asked.Confirms = {false};
    EXPECT_FALSE(other.FormCloseQuery());

    // OK overwrites, and the next save of that window asks nothing.
    asked.Shown.clear();
    other.Save1Click();
    EXPECT_EQ(asked.Shown, std::vector<std::string>{question});
    EXPECT_EQ(ReadWholeFile(Dir / kCatsBackup), saved);
    EXPECT_EQ(other.CDMarks.PendingChangeCount(), 0);
    asked.Shown.clear();
    other.CDMarks.GoFirst();
    other.CDMarks.DeleteRow();
    other.Save1Click();
    EXPECT_TRUE(asked.Shown.empty());

    // One file written again by another program, with its own bytes.
    WriteFileAtomically(Dir / kMarksFile, ReadWholeFile(Dir / kMarksFile));
    asked.Confirms = {false};
    other.Save1Click();
    EXPECT_EQ(asked.Shown, std::vector<std::string>{"confirm: The file \"" + (Dir / kMarksFile).string() +
                                                    "\" was changed by another program after this window loaded "
                                                    "or saved it. Overwrite the other program's changes?"});
}

TEST_F(TWindowTest, NewOnAFolderAnotherWindowHasOpenAsksFirst)
{
    Window->show();
    Window->OpenProject(Dir.string());
    auto newWindow = [&] {
        Window->New1Click();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<TfrmMain*>(w); window && window != Window.get() && window->isVisible())
                return window;
        return static_cast<TfrmMain*>(nullptr);
    };
    Dialogs->Folder = (Dir / "MarksIcons" / "..").string();
    Dialogs->Confirms = {false};
    TfrmMain* declined = newWindow();
    ASSERT_NE(declined, nullptr);
    EXPECT_EQ(Dialogs->Shown.back(), "confirm: The folder \"" + Dir.string() +
                                         "/\" is already open in another window, and a Save in either window "
                                         "overwrites what the other saved. Open it in this window as well?");
    EXPECT_EQ(declined->windowTitle(), "Edit Marks");
    declined->close();
    Dialogs->Confirms = {true};
    EXPECT_EQ(newWindow()->FProjectDir, Dir.string() + "/");
    DestroyEditorWindows();
}

TEST_F(TWindowTest, CloseQueryAsksOnlyWithChanges)
{
    Window->OpenProject(Dir.string());
    EXPECT_TRUE(Window->FormCloseQuery());
    EXPECT_TRUE(Dialogs->Shown.empty());

    EditFirstCategoryName("Changed");
    Dialogs->Answers = {TAnswer::Cancel, TAnswer::No};
    EXPECT_FALSE(Window->FormCloseQuery());
    EXPECT_EQ(Dialogs->Shown, std::vector<std::string>{"ask: Have changes... Save Changes?"});
    EXPECT_EQ(Window->CDCats.PendingChangeCount(), 1);
    EXPECT_TRUE(Window->FormCloseQuery());

    Dialogs->Answers = {TAnswer::Yes};
    EXPECT_TRUE(Window->FormCloseQuery());
    EXPECT_NE(ReadWholeFile(Dir / kCatsFile).find("name=\"Changed\""), std::string::npos);

    // Opening again drops changes without a question.
    EditFirstCategoryName("Dropped");
    Dialogs->Shown.clear();
    Window->OpenProject(Dir.string());
    EXPECT_TRUE(Dialogs->Shown.empty());
    EXPECT_EQ(Window->CDCats.PendingChangeCount(), 0);
}

TEST_F(TWindowTest, ReindexRenumbersInFileOrder)
{
    Window->OpenProject(Dir.string());
    Window->CDCats.GoBy(3);
    const std::string category = Window->CDCats.FieldNamed("name").AsText();
    Window->Reindex1Click();
    EXPECT_TRUE(Dialogs->Shown.empty());
    EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 0);
    EXPECT_TRUE(Window->FormCloseQuery());
    const TPacketContent& c = Window->CDMarks.Content();
    for (size_t i = 0; i < c.Rows.size(); ++i)
        ASSERT_EQ(c.Rows[i].Values[0], TFieldValue(static_cast<std::int64_t>(i)));
    EXPECT_EQ(c.AutoIncValue, static_cast<std::int64_t>(c.Rows.size()));
    EXPECT_EQ(Window->CDCats.FieldNamed("name").AsText(), category);
    EXPECT_EQ(Window->CDMarks.RowNumber(), 1u);

    // Twice equals once; texts come back byte for byte.
    const std::string once = Window->CDMarks.PacketText();
    Window->Reindex1Click();
    EXPECT_EQ(Window->CDMarks.PacketText(), once);

    // A pending edit doubles a row: ids run over both versions.
    Window->CDMarks.GoFirst();
    Window->CDMarks.BeginEdit();
    Window->CDMarks.FieldNamed("name").SetAsText("Tom & \"Jerry\" 'o' \xc6\xf3\xea");
    Window->CDMarks.PostRow();
    const size_t rows = Window->CDMarks.Content().Rows.size();
    Window->Reindex1Click();
    EXPECT_EQ(Window->CDMarks.Content().AutoIncValue, static_cast<std::int64_t>(rows));
    EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 1);
    EXPECT_EQ(Window->CDMarks.Content().Rows.back().Values[1], TFieldValue(std::string("Tom & \"Jerry\" 'o' \xc6\xf3\xea")));

    // Undone, the ids of before come back; then the edit.
    EXPECT_EQ(Window->Undo1->text().toStdString(), "Undo Reindex");
    Window->Undo1Click();
    Window->Undo1Click();
    EXPECT_EQ(Window->CDMarks.PacketText(), once);
}

TEST_F(TWindowTest, ReindexFailures)
{
    Window->Reindex1Click();
    ASSERT_EQ(Dialogs->Shown.size(), 1u);
    EXPECT_NE(Dialogs->Shown[0].find("Line: "), std::string::npos);
    EXPECT_FALSE(Window->CDMarks.IsOpen());

    // A control character the DOM refuses: the table keeps its content.
    Window->OpenProject(Dir.string());
    Window->CDMarks.GoFirst();
    Window->CDMarks.BeginEdit();
    Window->CDMarks.FieldNamed("name").SetAsText("bell\x07");
    Window->CDMarks.PostRow();
    const std::string before = Window->CDMarks.PacketText();
    Window->Reindex1Click();
    EXPECT_EQ(Dialogs->Shown.size(), 2u);
    EXPECT_EQ(Window->CDMarks.PacketText(), before);
    EXPECT_FALSE(Window->CDMarks.ViewsSuspended());
}

TEST_F(TWindowTest, ExportsAskForAFileAndReportTheCount)
{
    Window->OpenProject(Dir.string());
    Dialogs->Files = {(Root / "out.kml").string(), ""};
    Window->mnExportVisiblelKMLClick();
    // The sample's two hidden categories hold 60 of its 300 marks.
    EXPECT_EQ(Dialogs->Shown, (std::vector<std::string>{
                                  "save: .kml Vexamarks.kml Track Files ( *.kml)|*.kml|All Files (*.* )|*.* 0",
                                  "info: Exported 240 objects"}));
    const std::string kml = ReadWholeFile(Root / "out.kml");
    EXPECT_EQ(kml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n", 0), 0u);
    EXPECT_NE(kml.find(Window->IconFolder()), std::string::npos);

    // A cancelled prompt writes nothing and shows no count; the filter choice is kept.
    Dialogs->Shown.clear();
    Window->mnExportSelectedWPTClick();
    EXPECT_EQ(Dialogs->Shown, (std::vector<std::string>{
                                  "save: .wpt Roverivoz.eza Track Files ( *.wpt)|*.wpt|All Files (*.* )|*.* 1"}));
    EXPECT_FALSE(Window->FExport.FExportFileChosen);
    EXPECT_EQ(Window->FExport.FExportCount, 240);

    // GPX and GeoJSON from the Export menu, as the others.
    for (auto [caption, prompt, start] : {
             std::tuple{"Visible to GPX", "save: .gpx Vexamarks.gpx GPX Files ( *.gpx)|*.gpx|All Files (*.* )|*.* 1",
                        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<gpx version=\"1.1\""},
             std::tuple{"Visible to GeoJSON",
                        "save: .geojson Vexamarks.geojson GeoJSON Files ( *.geojson)|*.geojson|All Files (*.* )|*.* 1",
                        "{\"type\":\"FeatureCollection\",\"features\":[\r\n{\"type\":\"Feature\""}}) {
        Dialogs->Shown.clear();
        Dialogs->Files = {(Root / "out").string()};
        for (QAction* a : Window->mnExportMP->actions())
            if (a->text() == caption)
                a->trigger();
        EXPECT_EQ(Dialogs->Shown, (std::vector<std::string>{prompt, "info: Exported 240 objects"}));
        EXPECT_EQ(ReadWholeFile(Root / "out").rfind(start, 0), 0u) << caption;
    }
}

TEST_F(TWindowTest, ExportScopes)
{
    Window->OpenProject(Dir.string());
    // Category "Springs": 30 marks.
    for (Window->CDCats.GoFirst(); Window->CDCats.FieldNamed("name").AsText() != "Springs"; Window->CDCats.GoNext()) {
    }
    Window->ExportWpt(esCategory, (Root / "cat.wpt").string());
    EXPECT_EQ(Window->FExport.FExportCount, 30);
    EXPECT_EQ(Window->CDMarks.RowNumber(), 30u); // the walk leaves the table on the last mark
    EXPECT_EQ(ReadWholeFile(Root / "cat.wpt").rfind("OziExplorer Waypoint File Version 1.1\r\n", 0), 0u);

    Window->CDMarks.GoFirst();
    std::vector<TRowRef> selected{Window->CDMarks.CurrentRowRef()};
    Window->CDMarks.GoBy(3);
    selected.push_back(Window->CDMarks.CurrentRowRef());
    const std::string fourth = Window->CDMarks.FieldNamed("name").AsText();
    Window->ExportKml(esSelected, (Root / "sel.kml").string(), selected);
    EXPECT_EQ(Window->FExport.FExportCount, 2);
    EXPECT_EQ(Window->CDMarks.FieldNamed("name").AsText(), fourth);
    Window->ExportKml(esSelected, (Root / "none.kml").string(), {});
    EXPECT_EQ(ReadWholeFile(Root / "none.kml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<kml xmlns=\""
                                                  "http://earth.google.com/kml/2.0\">\r\n<Document>\r\n"
                                                  "</Document>\r\n</kml>\r\n");

    // MP reads Icons.ini from the MarksIcons folder beside the project directory.
    fs::create_directories(Root / "MarksIcons");
    fs::copy_file(kSample / "Icons.ini", Root / "MarksIcons" / "Icons.ini");
    Window->ExportMp(esVisible, (Root / "all.mp").string());
    const std::string mp = ReadWholeFile(Root / "all.mp");
    EXPECT_NE(mp.find("Type=0x6511"), std::string::npos);
    EXPECT_NE(mp.find("Type=0x3c"), std::string::npos);
    EXPECT_LT(Window->FExport.FExportCount, 240); // marks of their own hidden are left out
    // Every object has one type line, "Type=0x" and hexadecimal digits.
    std::istringstream lines(mp);
    int typeLines = 0;
    std::vector<std::string> labels;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Type=", 0) == 0) {
            ++typeLines;
            EXPECT_TRUE(std::regex_match(line, std::regex("Type=0x[0-9A-Fa-f]+\r"))) << line;
        }
        if (line.rfind("Label=", 0) == 0)
            labels.push_back(line.substr(6, line.size() - 7));
    }
    EXPECT_EQ(typeLines, Window->FExport.FExportCount);
    // The objects are the marks shown of the categories shown, each once.
    std::vector<std::string> shown;
    for (Window->CDCats.GoFirst(); !Window->CDCats.AtEnd(); Window->CDCats.GoNext())
        if (Window->CDCats.FieldNamed("visible").AsFlag())
            for (Window->CDMarks.GoFirst(); !Window->CDMarks.AtEnd(); Window->CDMarks.GoNext())
                if (Window->CDMarks.FieldNamed("visible").AsFlag())
                    shown.push_back(Window->CDMarks.FieldNamed("name").AsText());
    std::sort(shown.begin(), shown.end());
    std::sort(labels.begin(), labels.end());
    EXPECT_EQ(labels, shown);
}

TEST_F(TWindowTest, LargeExportsWrittenAsTheWalkGoesMatchTheWholeText)
{
    Window->OpenProject(Dir.string());
    fs::create_directories(Root / "MarksIcons");
    fs::copy_file(kSample / "Icons.ini", Root / "MarksIcons" / "Icons.ini");
    // Descriptions with line ends of every kind, and lines of many points, long
    // enough that every export reaches its file in several pieces.
    std::string descr;
    for (int i = 0; descr.size() < 30000; ++i)
        descr += "line " + std::to_string(i) + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
    std::string line;
    for (int i = 0; i < 1000; ++i)
        line += PointRecord(30 + i / 1000.0L, 60 - i / 3000.0L);
    TClientDataSet& marks = Window->CDMarks;
    for (Window->CDCats.GoFirst(); !Window->CDCats.AtEnd(); Window->CDCats.GoNext())
        for (marks.GoFirst(); !marks.AtEnd(); marks.GoNext()) {
            marks.BeginEdit();
            marks.FieldNamed("descr").SetAsText(descr);
            marks.FieldNamed("lonlatarr").SetAsValue(line);
            marks.PostRow();
        }

    const TMarkReader mark(marks);
    auto expectWhole = [&](const char* documentTemplate, const fs::path& streamed, const std::function<void(TExportState&)>& add) {
        TExportState whole;
        WalkMarks(Window->CDCats, marks, whole, esVisible, [&] { add(whole); }, {});
        ASSERT_GT(whole.FExportText.size(), 3u << 20);
        SaveExportDocument(documentTemplate, whole.FExportText, Root / "whole");
        EXPECT_EQ(ReadWholeFile(streamed), ReadWholeFile(Root / "whole")) << streamed;
        EXPECT_EQ(Window->FExport.FExportCount, whole.FExportCount);
    };
    Window->ExportKml(esVisible, (Root / "all.kml").string());
    expectWhole(kKmlDocument, Root / "all.kml",
                [&](TExportState& state) { AddKmlPlacemark(state, mark.Read(), TfrmMain::IconFolder()); });
    Window->ExportWpt(esVisible, (Root / "all.wpt").string());
    expectWhole(kWptHeader, Root / "all.wpt", [&](TExportState& state) { AddWptWaypoint(state, mark.Read()); });
    Window->ExportMp(esVisible, (Root / "all.mp").string());
    expectWhole(kMpHeader, Root / "all.mp",
                [&](TExportState& state) { AddMpObject(state, mark.Read(), Window->FIconTypes); });
}

namespace {

// The program's windows, each on a project directory of its own, for the closing
// of the main window with further windows open.
struct TProgramWindows : TWindowTest {
    std::vector<TfrmMain*> Windows;
    std::vector<TScriptedDialogs*> WindowDialogs;
    std::vector<std::string> Questions;

    void TearDown() override
    {
        DestroyEditorWindows();
        TWindowTest::TearDown();
    }

    // A window on a copy of the sample; with a change, its first category renamed.
    void AddWindow(bool changed)
    {
        const std::string who = "window" + std::to_string(Windows.size() + 1);
        const fs::path dir = Root / who;
        fs::create_directories(dir);
        for (const char* name : {kCatsFile, kMarksFile})
            fs::copy_file(kSample / name, dir / name);
        auto dialogs = std::make_unique<TScriptedDialogs>();
        dialogs->Questions = &Questions;
        dialogs->Who = who;
        WindowDialogs.push_back(dialogs.get());
        TfrmMain& window = CreateEditorWindow(std::move(dialogs));
        window.OpenProject(dir.string());
        if (changed) {
            window.CDCats.GoFirst();
            window.CDCats.BeginEdit();
            window.CDCats.FieldNamed("name").SetAsText(who + " edited");
            window.CDCats.PostRow();
        }
        window.show();
        Windows.push_back(&window);
    }

    bool Saved(size_t i) const
    {
        const std::string who = "window" + std::to_string(i + 1);
        return ReadWholeFile(Root / who / kCatsFile).find(who + " edited") != std::string::npos;
    }

    std::vector<bool> Visible() const
    {
        std::vector<bool> visible;
        for (const TfrmMain* w : Windows)
            visible.push_back(w->isVisible());
        return visible;
    }

    // Closes the main window from inside the message loop and returns the loop's
    // exit code: 99 when the program is still running after the close.
    int CloseMainWindow()
    {
        Questions.clear();
        QTimer stillRunning;
        stillRunning.setSingleShot(true);
        // Only while the main window is still open: once it has closed, the program
        // has already asked the loop to end, and a late 99 must not replace its code.
        QObject::connect(&stillRunning, &QTimer::timeout, [&] {
            if (Windows[0]->isVisible())
                QCoreApplication::exit(99);
        });
        QTimer::singleShot(0, Windows[0], [&] {
            Windows[0]->close();
            stillRunning.start(0);
        });
        return QCoreApplication::exec();
    }
};

} // namespace

TEST_F(TProgramWindows, TwoWindowsCancelKeepsBothThenNoEndsTheProgram)
{
    AddWindow(false);
    AddWindow(true);
    WindowDialogs[1]->Answers = {TAnswer::Cancel};
    EXPECT_EQ(CloseMainWindow(), 99);
    EXPECT_EQ(Questions, std::vector<std::string>{"window2"});
    EXPECT_EQ(Visible(), (std::vector<bool>{true, true}));

    WindowDialogs[1]->Answers = {TAnswer::No};
    EXPECT_EQ(CloseMainWindow(), 0);
    EXPECT_EQ(Questions, std::vector<std::string>{"window2"});
    EXPECT_EQ(Visible(), (std::vector<bool>{false, false}));
    EXPECT_FALSE(Saved(1));
}

TEST_F(TProgramWindows, ThreeWindowsAskedInOrderAndCancelOnTheLastKeepsAll)
{
    AddWindow(true);
    AddWindow(true);
    AddWindow(true);
    // The main window saves, the second drops its changes, the third cancels:
    // nothing closes, and the second window still holds its changes.
    WindowDialogs[0]->Answers = {TAnswer::Yes};
    WindowDialogs[1]->Answers = {TAnswer::No};
    WindowDialogs[2]->Answers = {TAnswer::Cancel};
    EXPECT_EQ(CloseMainWindow(), 99);
    EXPECT_EQ(Questions, (std::vector<std::string>{"window1", "window2", "window3"}));
    EXPECT_EQ(Visible(), (std::vector<bool>{true, true, true}));
    EXPECT_TRUE(Saved(0));
    EXPECT_EQ(Windows[1]->CDCats.PendingChangeCount(), 1);

    // A further window closed on its own is not asked again.
    WindowDialogs[2]->Answers = {TAnswer::No};
    Windows[2]->close();
    EXPECT_EQ(Visible(), (std::vector<bool>{true, true, false}));
    WindowDialogs[1]->Answers = {TAnswer::Yes};
    EXPECT_EQ(CloseMainWindow(), 0);
    EXPECT_EQ(Questions, std::vector<std::string>{"window2"});
    EXPECT_EQ(Visible(), (std::vector<bool>{false, false, false}));
    EXPECT_TRUE(Saved(1));
    EXPECT_FALSE(Saved(2));
}

TEST_F(TProgramWindows, CancelOnTheMainWindowAsksNoFurtherWindow)
{
    AddWindow(true);
    AddWindow(true);
    AddWindow(true);
    WindowDialogs[0]->Answers = {TAnswer::Cancel};
    EXPECT_EQ(CloseMainWindow(), 99);
    EXPECT_EQ(Questions, std::vector<std::string>{"window1"});
    EXPECT_EQ(Visible(), (std::vector<bool>{true, true, true}));
}

TEST_F(TWindowTest, OutOfMemoryReadsAsASentence)
{
    Window->RunCommand([] { throw std::bad_alloc(); });
    EXPECT_EQ(Dialogs->Shown, std::vector<std::string>{"error: Insufficient memory for this operation."});
}

TEST(ErrorBox, FullStopRule)
{
    EXPECT_EQ(ErrorBoxText("Field value required."), "Field value required.");
    EXPECT_EQ(ErrorBoxText("Cannot open file"), "Cannot open file.");
    EXPECT_EQ(ErrorBoxText("Done!"), "Done!");
    EXPECT_EQ(ErrorBoxText("'x' (y)"), "'x' (y)");
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window's Google page, whatever a settings file beside the tests says.
    qputenv("MARKS_MAP_PROVIDER", "google");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
