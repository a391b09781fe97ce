// The KMZ export of a window, and the headless switches of the built program.
#include <gtest/gtest.h>

#include <QApplication>

#include <filesystem>

#include "file_io.h"
#include "test_helpers.h"
#include "project_dir.h"
#include "tfrm_main.h"
#include "zip_archive.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSample = fs::path(MARKS_SOURCE_DIR) / "sample";
const fs::path kEditor = MARKS_EDITOR_PATH;

std::vector<std::string> EntryNames(const fs::path& archive)
{
    ZipArchive zip;
    zip.OpenArchive(archive);
    std::vector<std::string> names;
    for (const ZipEntry& e : zip.Entries())
        names.push_back(e.Central.Name);
    return names;
}

struct TKmzTest : ::testing::Test {
    fs::path Root = fs::temp_directory_path() /
                    ("marks-kmz-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    TfrmMain Window;

    void SetUp() override
    {
        fs::remove_all(Root);
        fs::create_directories(Root);
        Window.OpenProject(kSample.string());
    }
    void TearDown() override { fs::remove_all(Root); }

    size_t FilesIn(const fs::path& dir)
    {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }
};

} // namespace

TEST_F(TKmzTest, IconsSortedThenTheKmlEntry)
{
    // An existing archive is replaced, and a KML file of the entry's name survives.
    WriteFileAtomically(Root / "out.kmz", "old contents");
    WriteFileAtomically(Root / "out.kml", "a KML the user keeps");
    Window.ExportKmz(esVisible, (Root / "out.kmz").string());
    EXPECT_EQ(EntryNames(Root / "out.kmz"), (std::vector<std::string>{"camp.png", "church.png", "flag.png", "Fuel.PNG",
                                                                       "museum.png", "water.png", "out.kml"}));
    EXPECT_EQ(ReadWholeFile(Root / "out.kml"), "a KML the user keeps");
    EXPECT_EQ(FilesIn(Root), 2u); // no temporary file left
    EXPECT_TRUE(Window.FExport.FKmzMode);

    EXPECT_EQ(RunCommandLine("unzip -tq '" + (Root / "out.kmz").string() + "'").Code, 0);
    TCommandResult gdal = RunCommandLine("ogrinfo -ro -so -al '" + (Root / "out.kmz").string() + "'");
    EXPECT_EQ(gdal.Code, 0) << gdal.Output;
    EXPECT_NE(gdal.Output.find("Feature Count: " + std::to_string(Window.FExport.FExportCount)), std::string::npos)
        << gdal.Output;
}

TEST_F(TKmzTest, LinesOnlyAndKmlTargets)
{
    // "Roads": lines without icons give the KML entry alone.
    for (Window.CDCats.GoFirst(); Window.CDCats.FieldNamed("name").AsText() != "Roads"; Window.CDCats.GoNext()) {
    }
    Window.ExportKmz(esCategory, (Root / "roads.kmz").string());
    EXPECT_EQ(EntryNames(Root / "roads.kmz"), std::vector<std::string>{"roads.kml"});

    // A target that is itself a .kml name is written as an archive holding that name.
    Window.ExportKmz(esCategory, (Root / "odd.kml").string());
    EXPECT_EQ(EntryNames(Root / "odd.kml"), std::vector<std::string>{"odd.kml"});
    EXPECT_EQ(FilesIn(Root), 2u);

    // A target in a folder that does not exist: an error, nothing left behind.
    EXPECT_THROW(Window.ExportKmz(esCategory, (Root / "gone" / "x.kmz").string()), std::exception);
    EXPECT_EQ(FilesIn(Root), 2u);
}

TEST(Switches, HeadlessExportsWriteToTheCurrentDirectory)
{
    const fs::path dir = fs::temp_directory_path() / "marks-switches";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string prefix = "cd '" + dir.string() + "' && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" +
                               kEditor.string() + "' ";
    TCommandResult wpt = RunCommandLine(prefix + "-exportWPT ignored");
    EXPECT_EQ(wpt.Code, 0) << wpt.Output;
    EXPECT_EQ(ReadWholeFile(dir / "Roverivoz.eza").rfind("OziExplorer Waypoint File Version 1.1\r\n", 0), 0u);
    TCommandResult kmz = RunCommandLine(prefix + "-exportKMZ");
    EXPECT_EQ(kmz.Code, 0) << kmz.Output;
    EXPECT_EQ(EntryNames(dir / "Vexamarks.kmz").back(), "Vexamarks.kml");
    EXPECT_FALSE(fs::exists(dir / "Vexamarks.kml"));
    TCommandResult mp = RunCommandLine(prefix + "-exportMP");
    EXPECT_EQ(mp.Code, 0) << mp.Output;
    EXPECT_EQ(ReadWholeFile(dir / "Vexamarks.mp").rfind("[IMG ID]\r\n", 0), 0u);

    // Another letter case is no switch: the program starts normally (and is stopped).
    fs::remove(dir / "Roverivoz.eza");
    TCommandResult lower = RunCommandLine("cd '" + dir.string() + "' && QT_QPA_PLATFORM=offscreen timeout 3 '" + kEditor.string() +
                        "' -exportwpt");
    EXPECT_EQ(lower.Code, 124);
    EXPECT_FALSE(fs::exists(dir / "Roverivoz.eza"));

    // The program beside a categories file alone: the error on standard error, exit 1.
    const fs::path lonely = dir / "lonely";
    fs::create_directories(lonely);
    fs::copy_file(kEditor, lonely / "marks-editor");
    fs::copy_file(kSample / kCatsFile, lonely / kCatsFile);
    TCommandResult missing = RunCommandLine("cd '" + dir.string() + "' && env -u DISPLAY -u QT_QPA_PLATFORM '" +
                          (lonely / "marks-editor").string() + "' -exportWPT");
    EXPECT_EQ(missing.Code, 1);
    EXPECT_NE(missing.Output.find("Application Error: Cannot open file \"" + (lonely / kMarksFile).string() + "\"."),
              std::string::npos)
        << missing.Output;
    fs::remove_all(dir);
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
