// Opening paths and saving a project directory: backups first, both tables together,
// and the file system's odd cases (protected, linked and in-place files).
#include "project_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "file_io.h"
#include "marks_schema.h"
#include "test_helpers.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSample = fs::path(MARKS_SOURCE_DIR) / "sample";

struct TProjectDir : ::testing::Test {
    fs::path Dir = fs::temp_directory_path() /
                   ("marks-project-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::string OldCats;
    std::string OldMarks;
    TClientDataSet Cats{CatsSchema()};
    TClientDataSet Marks{MarksSchema()};

    void SetUp() override
    {
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        fs::permissions(Dir, fs::perms::all);
        for (const char* name : {kCatsFile, kMarksFile})
            fs::copy_file(kSample / name, Dir / name);
        OldCats = ReadWholeFile(Dir / kCatsFile);
        OldMarks = ReadWholeFile(Dir / kMarksFile);
        Marks.SetMasterSource(&Cats, "id");
    }
    void TearDown() override
    {
        fs::permissions(Dir, fs::perms::all);
        fs::remove_all(Dir);
    }

    void Open()
    {
        Cats.LoadTableFile(Dir / kCatsFile);
        Marks.LoadTableFile(Dir / kMarksFile);
    }
    // One change in each table.
    void Edit()
    {
        Cats.GoFirst();
        Cats.BeginEdit();
        Cats.FieldNamed("name").SetAsText("Renamed");
        Cats.PostRow();
        Marks.GoFirst();
        Marks.DeleteRow();
    }
    TSaveResult Save() { return SaveProject(ProjectDirOf(Dir), Cats, Marks); }
    void ExpectUnsaved()
    {
        EXPECT_EQ(ReadWholeFile(Dir / kCatsFile), OldCats);
        EXPECT_EQ(ReadWholeFile(Dir / kMarksFile), OldMarks);
        EXPECT_EQ(Cats.PendingChangeCount(), 1);
        EXPECT_EQ(Marks.PendingChangeCount(), 1);
    }
};

} // namespace

TEST_F(TProjectDir, PathsEndInOneSeparator)
{
    const std::string expected = Dir.string() + "/";
    EXPECT_EQ(ProjectDirOf(Dir), expected);
    EXPECT_EQ(ProjectDirOf(Dir.string() + "//"), expected);
    EXPECT_EQ(ProjectDirOf(Dir / "MarksIcons" / ".."), expected);
    EXPECT_EQ(ProjectDirOf("/"), "/");
}

TEST_F(TProjectDir, SaveWritesBackupsThenBothTables)
{
    Open();
    Edit();
    EXPECT_EQ(Save(), TSaveResult::Saved);
    EXPECT_EQ(ReadWholeFile(Dir / kCatsBackup), OldCats);
    EXPECT_EQ(ReadWholeFile(Dir / kMarksBackup), OldMarks);
    EXPECT_EQ(Cats.PendingChangeCount() + Marks.PendingChangeCount(), 0);
    EXPECT_EQ(ReadWholeFile(Dir / kCatsFile), Cats.PacketText());
    EXPECT_EQ(ReadWholeFile(Dir / kMarksFile), Marks.PacketText());
    EXPECT_NE(ReadWholeFile(Dir / kCatsFile).find("name=\"Renamed\""), std::string::npos);

    EXPECT_EQ(ErrorText([&] { SaveProject("", Cats, Marks); }),
              "No project directory is open. Load a project before saving.");
}

TEST_F(TProjectDir, WriteProtectedBackupsAndTablesSaveNothing)
{
    Open();
    Edit();
    WriteFileAtomically(Dir / kMarksBackup, "older backup");
    fs::permissions(Dir / kMarksBackup, fs::perms(0444));
    EXPECT_EQ(Save(), TSaveResult::BackupFailed);
    EXPECT_EQ(ReadWholeFile(Dir / kMarksBackup), "older backup");
    ExpectUnsaved();

    fs::permissions(Dir / kMarksBackup, fs::perms(0644));
    fs::permissions(Dir / kMarksFile, fs::perms(0444));
    EXPECT_EQ(ErrorText([&] { Save(); }),
              "Cannot create file \"" + (Dir / kMarksFile).string() + "\". Permission denied.");
    EXPECT_EQ(ReadWholeFile(Dir / kCatsFile), OldCats);
    EXPECT_EQ(ReadWholeFile(Dir / kMarksFile), OldMarks);
    EXPECT_EQ(fs::status(Dir / kMarksFile).permissions(), fs::perms(0444));
}

TEST_F(TProjectDir, LinkedTableFilesAreWrittenThrough)
{
    fs::create_directories(Dir / "store");
    for (const char* name : {kCatsFile, kMarksFile}) {
        fs::rename(Dir / name, Dir / "store" / name);
        fs::create_symlink(fs::path("store") / name, Dir / name);
    }
    Open();
    Edit();
    EXPECT_EQ(Save(), TSaveResult::Saved);
    for (const char* name : {kCatsFile, kMarksFile})
        EXPECT_TRUE(fs::is_symlink(Dir / name)) << name;
    EXPECT_EQ(ReadWholeFile(Dir / "store" / kMarksFile), Marks.PacketText());
    EXPECT_EQ(ReadWholeFile(Dir / "store" / kCatsFile), Cats.PacketText());
    EXPECT_FALSE(fs::is_symlink(Dir / kMarksBackup));
    EXPECT_EQ(ReadWholeFile(Dir / kMarksBackup), OldMarks);
}

TEST_F(TProjectDir, AFolderThatTakesNoNewFileIsSavedInPlaceAfterTheBackups)
{
    Open();
    Edit();
    for (const char* name : {kCatsFile, kMarksFile})
        fs::permissions(Dir / name, fs::perms(0666));
    fs::permissions(Dir, fs::perms(0555));

    // Without backup files to overwrite, the backups cannot be made: nothing is saved.
    if (::geteuid() == 0) {
        EXPECT_EQ(ErrorTextAsOrdinaryUser([&] {
                      if (Save() != TSaveResult::BackupFailed)
                          throw EMarksError("saved");
                  }),
                  "(no error)");
        ExpectUnsaved();
    }

    fs::permissions(Dir, fs::perms::all);
    for (const char* name : {kCatsBackup, kMarksBackup}) {
        WriteFileAtomically(Dir / name, "older backup");
        fs::permissions(Dir / name, fs::perms(0666));
    }
    fs::permissions(Dir, fs::perms(0555));
    EXPECT_EQ(ErrorTextAsOrdinaryUser([&] {
                  if (Save() != TSaveResult::Saved)
                      throw EMarksError("backup failed");
              }),
              "(no error)");
    EXPECT_EQ(ReadWholeFile(Dir / kCatsBackup), OldCats);
    EXPECT_EQ(ReadWholeFile(Dir / kMarksBackup), OldMarks);
    Cats.MergeChanges();
    Marks.MergeChanges();
    EXPECT_EQ(ReadWholeFile(Dir / kCatsFile), Cats.PacketText());
    EXPECT_EQ(ReadWholeFile(Dir / kMarksFile), Marks.PacketText());
}

TEST_F(TProjectDir, ATableThatFailedToLoadIsLeftAlone)
{
    WriteFileAtomically(Dir / kMarksFile, "not a packet");
    Cats.LoadTableFile(Dir / kCatsFile);
    EXPECT_EQ(ErrorText([&] { Marks.LoadTableFile(Dir / kMarksFile); }), "Mismatch in datapacket.");
    Cats.GoFirst();
    Cats.BeginEdit();
    Cats.FieldNamed("name").SetAsText("Renamed");
    Cats.PostRow();

    EXPECT_EQ(Save(), TSaveResult::Saved);
    EXPECT_EQ(ReadWholeFile(Dir / kCatsFile), Cats.PacketText());
    EXPECT_EQ(Cats.PendingChangeCount(), 0);
    EXPECT_EQ(ReadWholeFile(Dir / kMarksFile), "not a packet");
    EXPECT_EQ(ReadWholeFile(Dir / kMarksBackup), "not a packet");
    EXPECT_FALSE(Marks.IsOpen());
}
