// The import commands on the window: menu items, the file chooser, the counts
// message, and the table left as it was when a file cannot be read.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

#include <deque>
#include <filesystem>
#include <fstream>

#include "marks_schema.h"
#include "project_dir.h"
#include "db_grid.h"
#include "tfrm_main.h"
#include "ui_test_support.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSample = fs::path(MARKS_SOURCE_DIR) / "sample";

struct TImportWindow : ::testing::Test {
    fs::path Dir = fs::temp_directory_path() /
                   ("marks-import-window-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    TScriptedDialogs* Dialogs = nullptr;
    std::unique_ptr<TfrmMain> Window;

    void SetUp() override
    {
        fs::remove_all(Dir);
        CopySampleProject(Dir);
        auto dialogs = std::make_unique<TScriptedDialogs>();
        Dialogs = dialogs.get();
        Window = std::make_unique<TfrmMain>(std::move(dialogs));
    }
    void TearDown() override
    {
        Window.reset();
        fs::remove_all(Dir);
    }

    std::string Write(const std::string& name, const std::string& text)
    {
        const fs::path path = Dir / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }
};

const char* const kKml = R"(<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2"><Document>
<Placemark><name>Hut</name><Style><IconStyle><Icon><href>CAMP.png</href></Icon></IconStyle></Style>
  <Point><coordinates>7.5,46.1</coordinates></Point></Placemark>
<Placemark><name>Path</name><LineString><coordinates>7.5,46.1 7.6,46.2</coordinates></LineString></Placemark>
<Placemark><name>Nowhere</name></Placemark>
</Document></kml>
)";

} // namespace

TEST_F(TImportWindow, MenuItemsImportIntoTheCurrentCategory)
{
    QList<QAction*> bar = Window->menuBar()->actions();
    ASSERT_TRUE(Window->mnImport);
    EXPECT_EQ(Window->mnImport->text().toStdString(), "Import...");
    EXPECT_EQ(bar.indexOf(Window->mnImport), bar.indexOf(Window->N1) - 1); // right after "Export"
    EXPECT_EQ(Window->PopupCats->actions().back()->text().toStdString(), "Import Into Category...");

    Window->OpenProject(Dir.string());
    Window->CDCats.GoFirst();
    Window->CDCats.GoNext();
    const std::int64_t category = Window->CDCats.FieldNamed("id").AsInt();
    const size_t before = Window->CDMarks.RecordCount();
    Dialogs->OpenFiles = {Write("marks.kml", kKml)};
    Window->mnImport->trigger();
    ASSERT_EQ(Dialogs->Shown.size(), 2u);
    EXPECT_EQ(Dialogs->Shown[0], "open: GPX, KML, KMZ and GeoJSON files|*.gpx *.kml *.kmz *.geojson *.json|All files|*");
    EXPECT_EQ(Dialogs->Shown[1], "info: Imported 2 marks.\nSkipped 1 feature without coordinates.");
    EXPECT_EQ(Window->CDMarks.RecordCount(), before + 2);
    EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 2);
    std::vector<std::string> names;
    for (Window->CDMarks.GoFirst(); !Window->CDMarks.AtEnd(); Window->CDMarks.GoNext()) {
        const std::string name = Window->CDMarks.FieldNamed("name").AsText();
        if (name == "Hut" || name == "Path") {
            names.push_back(name);
            EXPECT_EQ(Window->CDMarks.FieldNamed("picname").AsText(), name == "Hut" ? "camp.png" : "");
            EXPECT_EQ(Window->CDMarks.FieldNamed("categoryid").AsInt(), category);
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Hut", "Path"}));

    // The popup's item does the same; a cancelled chooser does nothing.
    Dialogs->Shown.clear();
    Window->mnImportIntoCategory->trigger();
    EXPECT_EQ(Dialogs->Shown.size(), 1u);
    EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 2);

    // The import is one step.
    EXPECT_EQ(Window->Undo1->text().toStdString(), "Undo Import 2 Marks");
    Window->Undo1Click();
    EXPECT_EQ(Window->CDMarks.RecordCount(), before);
    EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 0);

    // So is one of 10,000 marks after a Save, which makes it a change to save again.
    std::string gpx = "<gpx version=\"1.1\">";
    for (int i = 0; i < 10000; ++i)
        gpx += "<wpt lat=\"1\" lon=\"" + std::to_string(i % 180) + "\"><name>w" + std::to_string(i) + "</name></wpt>";
    Window->ImportFiles({Write("many.gpx", gpx + "</gpx>")});
    EXPECT_EQ(Window->CDMarks.RecordCount(), before + 10000);
    Window->Save1Click();
    EXPECT_EQ(Window->Undo1->text().toStdString(), "Undo Import 10000 Marks");
    Window->Undo1Click();
    EXPECT_EQ(Window->CDMarks.RecordCount(), before);
    EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 10000);
}

TEST_F(TImportWindow, AnUnreadableFileLeavesTheTablesAsTheyWere)
{
    // No project: no category to take the marks, and no chooser.
    Window->ImportFiles({Write("a.kml", kKml)});
    ASSERT_EQ(Dialogs->Shown.size(), 1u);
    EXPECT_EQ(Dialogs->Shown[0], "error: There is no category to import into.");

    Window->OpenProject(Dir.string());
    const std::string before = Window->CDMarks.PacketText();
    Dialogs->Shown.clear();
    // A good file and a cut one dropped together: neither is imported.
    const std::string cut = Write("cut.gpx", "<gpx version=\"1.1\">\n<wpt lat=\"1\" lon=\"2\">\n<name>x</name>\n");
    Window->ImportFiles({Write("a.kml", kKml), cut});
    ASSERT_EQ(Dialogs->Shown.size(), 1u);
    EXPECT_EQ(Dialogs->Shown[0], "error: Cannot import file \"" + cut +
                                     "\". Line 3: the file ends before all its elements are closed.");
    EXPECT_EQ(Window->CDMarks.PacketText(), before);
    EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 0);

    // A long import shows its progress over the bytes of all its files; Cancel stops
    // it with nothing imported and nothing more to say.
    std::string gpx = "<gpx>";
    for (int i = 0; i < 20000; ++i)
        gpx += "<wpt lat=\"1\" lon=\"2\"><name>w" + std::to_string(i) + "</name></wpt>\n";
    const std::string big = Write("big.gpx", gpx + "</gpx>");
    Dialogs->Shown.clear();
    Dialogs->Progress.clear();
    Dialogs->CancelAtStep = 5;
    Window->ImportFiles({Write("a.kml", kKml), big});
    EXPECT_EQ(Dialogs->Progress, std::vector<std::string>{"Importing 2 files..."});
    EXPECT_EQ(Dialogs->ProgressSteps, 5);
    EXPECT_TRUE(Dialogs->Shown.empty());
    EXPECT_EQ(Window->CDMarks.PacketText(), before);
    EXPECT_EQ(Window->CDMarks.State(), TTableState::Browse);
    // Not cancelled, it reads every piece of both files.
    Dialogs->CancelAtStep = 0;
    Dialogs->ProgressSteps = 0;
    Window->ImportFiles({big});
    EXPECT_GT(Dialogs->ProgressSteps, 5);
    EXPECT_EQ(Dialogs->Shown, std::vector<std::string>{"info: Imported 20,000 marks."});
}

TEST_F(TImportWindow, FilesDroppedOnACategoryGoIntoIt)
{
    Window->OpenProject(Dir.string());
    Window->show();
    QApplication::processEvents();
    QWidget* viewport = Window->GrCats->viewport();
    const QPoint third(20, Window->GrCats->rowViewportPosition(2) + 3);
    Window->CDCats.GoFirst();
    const std::string target = [&] {
        Window->CDCats.GoBy(2);
        std::string name = Window->CDCats.FieldNamed("name").AsText();
        Window->CDCats.GoFirst();
        return name;
    }();

    // As the window system brings them: an enter, a move, and the drop.
    auto drag = [&](const std::vector<std::string>& files, bool drop) {
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& file : files)
            urls << QUrl::fromLocalFile(QString::fromStdString(file));
        data.setUrls(urls);
        QDragEnterEvent enter(third, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(third, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        if (drop) {
            QDropEvent event(third, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &event);
        }
        return move.isAccepted();
    };

    const std::string kml = Write("drop.KML", kKml);
    // Anything but import files is refused, and dropping it does nothing.
    EXPECT_FALSE(drag({Write("notes.txt", "x")}, true));
    EXPECT_FALSE(drag({kml, Write("notes.txt", "x")}, true));
    QApplication::processEvents();
    EXPECT_TRUE(Dialogs->Shown.empty());
    EXPECT_EQ(Window->CDCats.RowNumber(), 1u);
    EXPECT_TRUE(drag({kml}, false));
    EXPECT_EQ(Window->FDropRow, 3); // the row painted as the drop target
    EXPECT_TRUE(drag({kml}, true));
    EXPECT_EQ(Window->FDropRow, -1);
    EXPECT_EQ(Window->CDCats.FieldNamed("name").AsText(), target);
    EXPECT_TRUE(Dialogs->Shown.empty()); // the import runs after the drop has ended
    QApplication::processEvents();
    ASSERT_EQ(Dialogs->Shown.size(), 1u);
    EXPECT_EQ(Dialogs->Shown[0], "info: Imported 2 marks.\nSkipped 1 feature without coordinates.");
    EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 2);
    EXPECT_EQ(Window->CDCats.FieldNamed("name").AsText(), target);
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
