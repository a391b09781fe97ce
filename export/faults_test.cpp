// Faults while saving and exporting: a full disk, a target that is a folder, a
// target folder that vanished, an archive that is a FIFO. Each gives a clear error
// and leaves every earlier file byte-identical, with no temporary file behind.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <random>

#include "client_dataset.h"
#include "file_io.h"
#include "kml_writer.h"
#include "kmz_package.h"
#include "marks_error.h"
#include "marks_schema.h"
#include "mp_writer.h"
#include "test_helpers.h"
#include "wpt_writer.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> FilesIn(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Writes beyond the limit fail (a file too large) while it lives.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t limit)
    {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &FSaved);
        rlimit lowered = FSaved;
        lowered.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~TFileSizeLimit() { setrlimit(RLIMIT_FSIZE, &FSaved); }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    rlimit FSaved{};
};

// A folder on a small file system of its own (tmpfs) where the test may mount one;
// otherwise an ordinary folder with a file size limit that makes large writes fail.
class TSmallDisk {
public:
    explicit TSmallDisk(const fs::path& dir) : FDir(dir)
    {
        fs::create_directories(dir);
        FMounted = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=256k") == 0;
    }
    ~TSmallDisk()
    {
        Release();
        if (FMounted)
            ::umount(FDir.c_str());
        fs::remove_all(FDir);
    }
    // From now on writes beyond the room left fail.
    void Fill()
    {
        if (FMounted) {
            // Leave a few kilobytes: enough for nothing of size.
            std::string block(4096, 'x');
            for (int i = 0;; ++i)
                try {
                    WriteFileAtomically(FDir / (".fill" + std::to_string(i)), block);
                } catch (const EMarksError&) {
                    break;
                }
            return;
        }
        FLimit.emplace(8192);
    }
    void Release() { FLimit.reset(); }
    std::vector<std::string> UserFiles() const
    {
        std::vector<std::string> names;
        for (const std::string& name : FilesIn(FDir))
            if (name.rfind(".fill", 0) != 0)
                names.push_back(name);
        return names;
    }

private:
    fs::path FDir;
    bool FMounted = false;
    std::optional<TFileSizeLimit> FLimit;
};

struct TFaults : ::testing::Test {
    fs::path Root = fs::temp_directory_path() /
                    ("marks-faults-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    TClientDataSet Cats{CatsSchema()};
    TClientDataSet Marks{MarksSchema()};
    TExportState State;

    void SetUp() override
    {
        fs::remove_all(Root);
        fs::create_directories(Root);
        Marks.SetMasterSource(&Cats, "id");
        Cats.LoadTableFile(fs::path(MARKS_SOURCE_DIR) / "sample" / "Categorymarks.sml");
        Marks.LoadTableFile(fs::path(MARKS_SOURCE_DIR) / "sample" / "marks.sml");
        WalkMarks(Cats, Marks, State, esVisible, [&] { AddKmlPlacemark(State, ReadCurrentMark(Marks), {}); }, {});
    }
    void TearDown() override { fs::remove_all(Root); }
};

} // namespace

TEST_F(TFaults, FullDisk)
{
    TSmallDisk disk(Root / "disk");
    const fs::path dir = Root / "disk";
    WriteFileAtomically(dir / "marks.sml", "old table");
    WriteFileAtomically(dir / "out.wpt", "old waypoints");
    WriteFileAtomically(dir / "out.kmz", "old archive");
    disk.Fill();

    EXPECT_NE(ErrorText([&] { Marks.SaveTableXml(dir / "marks.sml"); }).find("Cannot create file \"" + (dir / "marks.sml").string()),
              std::string::npos);
    EXPECT_NE(ErrorText([&] { SaveExportText(FillTemplate(kWptHeader, std::string(100000, 'w')), dir / "out.wpt"); })
                  .find("Cannot create file"),
              std::string::npos);
    EXPECT_NE(ErrorText([&] {
                  SaveWalkedDocument(kWptHeader, dir / "out.wpt", State, [&] {
                      WalkMarks(Cats, Marks, State, esVisible,
                                [&] { State.FExportText.append(100000, 'w'); }, {});
                  });
              }).find("Cannot create file"),
              std::string::npos);
    EXPECT_NE(ErrorText([&] {
                  ZipArchive zip;
                  WriteKmzPackage(zip, dir / "out.kmz", FillTemplate(kKmlDocument, State.FExportText), State.FExportIcons,
                                  fs::path(MARKS_SOURCE_DIR) / "sample" / "MarksIcons");
              }),
              "(no error)");
    disk.Release();
    EXPECT_EQ(ReadWholeFile(dir / "marks.sml"), "old table");
    EXPECT_EQ(ReadWholeFile(dir / "out.wpt"), "old waypoints");
    EXPECT_EQ(ReadWholeFile(dir / "out.kmz"), "old archive");
    EXPECT_EQ(disk.UserFiles(), (std::vector<std::string>{"marks.sml", "out.kmz", "out.wpt"}));
}

TEST_F(TFaults, AWalkThatFailsAfterPiecesWereWrittenLeavesTheTargetAsItWas)
{
    WriteFileAtomically(Root / "out.mp", "old export");
    int marks = 0;
    EXPECT_EQ(ErrorText([&] {
                  SaveWalkedDocument(kMpHeader, Root / "out.mp", State, [&] {
                      WalkMarks(Cats, Marks, State, esVisible, [&] {
                          // Large enough that several pieces reach the file first.
                          State.FExportText.append(300000, 'm');
                          if (++marks == 20)
                              throw EMarksError("broken mark");
                      }, {});
                  });
              }),
              "broken mark");
    EXPECT_EQ(ReadWholeFile(Root / "out.mp"), "old export");
    EXPECT_EQ(FilesIn(Root), (std::vector<std::string>{"out.mp"}));
    EXPECT_FALSE(State.FExportSink);
}

TEST_F(TFaults, UnwritableAndVanishedTargets)
{
    // A folder stands where the file should go.
    fs::create_directories(Root / "taken.kml" / "inside");
    EXPECT_EQ(ErrorText([&] { SaveExportText("x", Root / "taken.kml"); }),
              "Cannot create file \"" + (Root / "taken.kml").string() + "\". Is a directory.");
    EXPECT_TRUE(fs::is_directory(Root / "taken.kml" / "inside"));
    fs::create_directories(Root / "taken.kmz");
    EXPECT_NE(ErrorText([&] {
                  ZipArchive zip;
                  WriteKmzPackage(zip, Root / "taken.kmz", "<kml/>", {}, Root);
              }).find("Cannot create file"),
              std::string::npos);

    // The target's folder is gone, or is a file.
    fs::create_directories(Root / "gone");
    fs::remove(Root / "gone");
    EXPECT_NE(ErrorText([&] { SaveExportText("x", Root / "gone" / "out.wpt"); }).find("No such file or directory"),
              std::string::npos);
    WriteFileAtomically(Root / "plain", "a file");
    EXPECT_NE(ErrorText([&] { Marks.SaveTableXml(Root / "plain" / "marks.sml"); }).find("Not a directory"), std::string::npos);
    EXPECT_EQ(FilesIn(Root), (std::vector<std::string>{"plain", "taken.kml", "taken.kmz"}));
    EXPECT_EQ(ReadWholeFile(Root / "plain"), "a file");
}

TEST_F(TFaults, WriteProtectedTargetsAreNeverReplaced)
{
    const fs::perms readOnly = fs::perms(0444);
    for (const char* name : {"out.kml", "out.wpt", "out.mp", "out.kmz"}) {
        WriteFileAtomically(Root / name, "old export");
        fs::permissions(Root / name, readOnly);
    }
    const std::string iconFolder = (fs::path(MARKS_SOURCE_DIR) / "sample" / "MarksIcons").string();
    for (const char* name : {"out.kml", "out.wpt", "out.mp"})
        EXPECT_EQ(ErrorText([&] { SaveExportText(FillTemplate(kWptHeader, "w"), Root / name); }),
                  "Cannot create file \"" + (Root / name).string() + "\". Permission denied.");
    EXPECT_EQ(ErrorText([&] {
                  ZipArchive zip;
                  WriteKmzPackage(zip, Root / "out.kmz", FillTemplate(kKmlDocument, State.FExportText),
                                  State.FExportIcons, iconFolder);
              }),
              "Cannot create file \"" + (Root / "out.kmz").string() + "\". Permission denied.");
    for (const char* name : {"out.kml", "out.wpt", "out.mp", "out.kmz"}) {
        EXPECT_EQ(ReadWholeFile(Root / name), "old export") << name;
        EXPECT_EQ(fs::status(Root / name).permissions(), readOnly) << name;
    }
    EXPECT_EQ(FilesIn(Root), (std::vector<std::string>{"out.kml", "out.kmz", "out.mp", "out.wpt"}));
}

TEST_F(TFaults, AnArchiveThatIsAFifoIsRefusedNotWaitedOn)
{
    const fs::path fifo = Root / "in.kmz";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    ::alarm(20); // an open that waits for a writer ends the test instead of hanging it
    ZipArchive zip;
    EXPECT_EQ(ErrorText([&] { zip.OpenArchiveForReading(fifo); }),
              "Cannot open file \"" + fifo.string() + "\". It is not a regular file.");
    ::alarm(0);
    EXPECT_FALSE(zip.IsZipFile());
}

TEST_F(TFaults, ArchiveChangesThatRunOutOfRoomLeaveTheArchiveAsItWas)
{
    std::string noise(100000, '\0');
    std::mt19937 random(9);
    for (char& c : noise)
        c = static_cast<char>(random());
    auto makeArchive = [&](const fs::path& path) {
        ZipArchive::CreateEmptyArchive(path);
        ZipArchive zip;
        zip.OpenArchive(path);
        for (int i = 0; i < 40; ++i)
            zip.AddData("entry-" + std::to_string(i) + ".txt", "entry", 0, 0x20);
    };
    auto stream = [&](ZipArchive& zip) {
        return zip.AddStream("stream.kml", 0, 0x20, [&](const TByteWriter& write) { write(noise); });
    };

    // A full disk: the room an addition needs is claimed before the directory is
    // overwritten.
    {
        TSmallDisk disk(Root / "disk");
        makeArchive(Root / "disk" / "a.zip");
        const std::string before = ReadWholeFile(Root / "disk" / "a.zip");
        ZipArchive zip;
        zip.OpenArchive(Root / "disk" / "a.zip");
        disk.Fill();
        EXPECT_NE(ErrorText([&] { zip.AddData("big.bin", noise, 0, 0x20); }), "(no error)");
        EXPECT_NE(ErrorText([&] { stream(zip); }), "(no error)");
        zip.CloseArchive();
        disk.Release();
        EXPECT_TRUE(ReadWholeFile(Root / "disk" / "a.zip") == before);
    }

    // A streamed entry that is written whole, then a directory that does not fit
    // after it; and a folder entry that fits before a file that does not.
    makeArchive(Root / "probe.zip");
    makeArchive(Root / "b.zip");
    ZipArchive zip;
    zip.OpenArchive(Root / "probe.zip");
    const ZipEntry& probe = stream(zip);
    const std::uint64_t dataEnd = ZipArchive::DataOffset(probe) + probe.Central.CompressedSize;
    zip.CloseArchive();
    const std::string before = ReadWholeFile(Root / "b.zip");
    zip.OpenArchive(Root / "b.zip");
    {
        TFileSizeLimit limit(dataEnd + 10);
        EXPECT_NE(ErrorText([&] { stream(zip); }), "(no error)");
    }
    {
        TFileSizeLimit limit(before.size() + 200);
        EXPECT_NE(ErrorText([&] { zip.AddData("dir/big.bin", noise, 0, 0x20); }), "(no error)");
    }
    EXPECT_EQ(zip.Entries().size(), 40u);
    zip.CloseArchive();
    EXPECT_TRUE(ReadWholeFile(Root / "b.zip") == before);
}

TEST_F(TFaults, TheKmzTargetIsWrittenAsEveryExportWritesItsFile)
{
    auto entries = [](const fs::path& archive) {
        ZipArchive zip;
        zip.OpenArchive(archive);
        std::vector<std::string> names;
        for (const ZipEntry& e : zip.Entries())
            names.push_back(e.Central.Name);
        return names;
    };
    // A link is written through, and the file it names keeps its permissions.
    fs::create_directories(Root / "data");
    WriteFileAtomically(Root / "data" / "real.kmz", "old archive");
    fs::permissions(Root / "data" / "real.kmz", fs::perms(0600));
    fs::create_symlink("data/real.kmz", Root / "link.kmz");
    ZipArchive zip;
    WriteKmzPackage(zip, Root / "link.kmz", "<kml/>", {}, Root);
    EXPECT_TRUE(fs::is_symlink(Root / "link.kmz"));
    EXPECT_EQ(fs::status(Root / "data" / "real.kmz").permissions(), fs::perms(0600));
    EXPECT_EQ(entries(Root / "data" / "real.kmz"), std::vector<std::string>{"link.kml"});
    EXPECT_EQ(FilesIn(Root), (std::vector<std::string>{"data", "link.kmz"}));
    EXPECT_EQ(FilesIn(Root / "data"), std::vector<std::string>{"real.kmz"});

    // A folder that takes no new file: the archive is written over the target.
    fs::create_directories(Root / "locked");
    WriteFileAtomically(Root / "locked" / "out.kmz", "old archive");
    fs::permissions(Root / "locked" / "out.kmz", fs::perms(0666));
    fs::permissions(Root / "locked", fs::perms(0555));
    EXPECT_EQ(ErrorTextAsOrdinaryUser([&] {
                  ZipArchive locked;
                  WriteKmzPackage(locked, Root / "locked" / "out.kmz", "<kml/>", {}, Root);
              }),
              "(no error)");
    fs::permissions(Root / "locked", fs::perms::all);
    EXPECT_EQ(entries(Root / "locked" / "out.kmz"), std::vector<std::string>{"out.kml"});
    EXPECT_EQ(FilesIn(Root / "locked"), std::vector<std::string>{"out.kmz"});
}
