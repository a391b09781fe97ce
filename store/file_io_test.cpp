// Whole-file writes against the file system's odd cases: write-protected targets,
// symbolic links, folders that take no new file, and a write that fails half-way;
// and reads of files that are not regular files.
#include "file_io.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "client_dataset.h"
#include "icon_cache.h"
#include "marks_schema.h"
#include "test_helpers.h"

namespace fs = std::filesystem;

namespace {

struct TFileWrites : ::testing::Test {
    fs::path Dir = fs::temp_directory_path() /
                   ("marks-files-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    void SetUp() override
    {
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        fs::permissions(Dir, fs::perms::all); // reachable for the ordinary user of the child processes
    }
    void TearDown() override
    {
        fs::permissions(Dir, fs::perms::all);
        fs::remove_all(Dir);
    }
    size_t EntriesIn(const fs::path& folder) const
    {
        return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }
    std::string Refused(const fs::path& path) const
    {
        return "Cannot create file \"" + path.string() + "\". Permission denied.";
    }
};

} // namespace

TEST_F(TFileWrites, WriteProtectedTargetsAreRefused)
{
    const fs::path file = Dir / "marks.sml";
    WriteFileAtomically(file, "old");
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(ErrorText([&] { WriteFileAtomically(file, "new"); }), Refused(file));
    EXPECT_EQ(ErrorText([&] { CheckNotWriteProtected(file); }), Refused(file));
    EXPECT_EQ(ReadWholeFile(file), "old");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0444));

    // A link to it does not get round the protection; the link stays.
    fs::create_symlink("marks.sml", Dir / "link.sml");
    EXPECT_EQ(ErrorText([&] { WriteFileAtomically(Dir / "link.sml", "new"); }), Refused(Dir / "link.sml"));
    EXPECT_TRUE(fs::is_symlink(Dir / "link.sml"));
    EXPECT_EQ(EntriesIn(Dir), 2u);

    // Write bits that do not let this user write protect the file too.
    fs::permissions(file, fs::perms(0644));
    EXPECT_EQ(ErrorTextAsOrdinaryUser([&] { WriteFileAtomically(file, "new"); }),
              ::geteuid() == 0 ? Refused(file) : "(no error)");
    EXPECT_EQ(ErrorText([&] { CheckNotWriteProtected(Dir / "new.sml"); }), "(no error)");
}

TEST_F(TFileWrites, LinksAreWrittenThrough)
{
    fs::create_directories(Dir / "data");
    WriteFileAtomically(Dir / "data" / "real.sml", "old");
    fs::permissions(Dir / "data" / "real.sml", fs::perms(0600));
    fs::create_symlink("data/real.sml", Dir / "link.sml");
    fs::create_symlink(Dir / "link.sml", Dir / "chain.sml");
    fs::create_symlink("data/new.sml", Dir / "dangling.sml");

    WriteFileAtomically(Dir / "link.sml", "through one link");
    EXPECT_TRUE(fs::is_symlink(Dir / "link.sml"));
    EXPECT_EQ(ReadWholeFile(Dir / "data" / "real.sml"), "through one link");
    EXPECT_EQ(fs::status(Dir / "data" / "real.sml").permissions(), fs::perms(0600));

    WriteFileAtomically(Dir / "chain.sml", "through two");
    EXPECT_TRUE(fs::is_symlink(Dir / "chain.sml"));
    EXPECT_EQ(ReadWholeFile(Dir / "data" / "real.sml"), "through two");

    // A link to a file not yet there creates that file.
    WriteFileAtomically(Dir / "dangling.sml", "created");
    EXPECT_TRUE(fs::is_symlink(Dir / "dangling.sml"));
    EXPECT_EQ(ReadWholeFile(Dir / "data" / "new.sml"), "created");

    WriteFilesTogether({{Dir / "link.sml", "together"}}, {});
    EXPECT_TRUE(fs::is_symlink(Dir / "link.sml"));
    EXPECT_EQ(ReadWholeFile(Dir / "data" / "real.sml"), "together");

    // The temporary files went beside the real files and are gone.
    EXPECT_EQ(EntriesIn(Dir), 4u);
    EXPECT_EQ(EntriesIn(Dir / "data"), 2u);

    fs::create_symlink("loop.sml", Dir / "loop.sml");
    EXPECT_EQ(ErrorText([&] { WriteFileAtomically(Dir / "loop.sml", "x"); }),
              "Cannot create file \"" + (Dir / "loop.sml").string() + "\". Too many levels of symbolic links.");
}

TEST_F(TFileWrites, AFolderThatTakesNoNewFileIsWrittenInPlace)
{
    const fs::path file = Dir / "marks.sml";
    WriteFileAtomically(file, "the old content, rather long");
    fs::permissions(file, fs::perms(0666));
    fs::permissions(Dir, fs::perms(0555));

    EXPECT_EQ(ErrorTextAsOrdinaryUser([&] { WriteFileAtomically(file, "short"); }), "(no error)");
    EXPECT_EQ(ReadWholeFile(file), "short");
    EXPECT_EQ(ErrorTextAsOrdinaryUser([&] { WriteFilesTogether({{file, std::string(5000, 'L')}}, {}); }), "(no error)");
    EXPECT_EQ(ReadWholeFile(file), std::string(5000, 'L'));
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0666));

    // A new file cannot be made there, and a protected one is still refused.
    if (::geteuid() == 0) {
        EXPECT_EQ(ErrorTextAsOrdinaryUser([&] { WriteFileAtomically(Dir / "new.sml", "x"); }), Refused(Dir / "new.sml"));
        fs::permissions(file, fs::perms(0444));
        EXPECT_EQ(ErrorTextAsOrdinaryUser([&] { WriteFileAtomically(file, "x"); }), Refused(file));
        fs::permissions(file, fs::perms(0666));
    }

    // A write that fails half-way (here at a file size limit) puts the old bytes back.
    EXPECT_EQ(ErrorTextAsOrdinaryUser([&] {
                  signal(SIGXFSZ, SIG_IGN);
                  rlimit limit{8000, 8000};
                  setrlimit(RLIMIT_FSIZE, &limit);
                  WriteFileAtomically(file, std::string(20000, 'N'));
              }).rfind("Cannot create file \"" + file.string() + "\". File too large", 0),
              0u);
    EXPECT_EQ(ReadWholeFile(file), std::string(5000, 'L'));
    EXPECT_EQ(EntriesIn(Dir), 1u);
}

TEST_F(TFileWrites, FifosAndDevicesAreRefusedWithoutWaiting)
{
    const fs::path fifo = Dir / "marks.sml";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    fs::create_directories(Dir / "MarksIcons");
    ASSERT_EQ(::mkfifo((Dir / "MarksIcons" / "a.png").c_str(), 0666), 0);
    auto refused = [](const fs::path& path) { return "Cannot open file \"" + path.string() + "\". It is not a regular file."; };
    // A reader that waits on a FIFO with no writer ends the test instead of hanging it.
    ::alarm(20);
    EXPECT_EQ(ErrorText([&] { ReadWholeFile(fifo); }), refused(fifo));
    EXPECT_EQ(ErrorText([&] { ReadWholeFile("/dev/zero"); }), refused("/dev/zero"));
    TClientDataSet marks(MarksSchema());
    EXPECT_EQ(ErrorText([&] { marks.LoadTableFile(fifo); }), refused(fifo));
    TIconCache icons;
    EXPECT_EQ(ErrorText([&] { LoadIcons(Dir, icons); }), refused(Dir / "MarksIcons" / "a.png"));
    ::alarm(0);
    EXPECT_FALSE(marks.IsOpen());
}
