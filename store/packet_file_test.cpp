// Table files read piece by piece: the same content as reading the bytes at once,
// and an error, never a crash or a mix of two files, when another program truncates
// or rewrites the file while it is being read.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "client_dataset.h"
#include "file_io.h"
#include "mark_geometry.h"
#include "marks_schema.h"
#include "packet_file.h"
#include "packet_test_support.h"
#include "test_helpers.h"

namespace fs = std::filesystem;
using namespace packet_test;

namespace {

// About 3 MB of marks, so the file takes several pieces: rows of varying length
// (tags straddle piece ends), a comment and raw '>' inside attribute values.
std::string BigMarksPacket()
{
    std::string rows;
    for (int i = 1; i <= 6000; ++i) {
        std::string blob;
        for (int p = 0; p <= i % 37; ++p)
            blob += PointRecord(30.25L + p, 50.5L - i % 11);
        TPacketContent one = MarksContent();
        one.Rows.push_back({0,
                            {std::int64_t{i}, "Mark >" + std::to_string(i), std::string(i % 7, '>'),
                             std::int64_t{i % 20}, std::int64_t{3}, blob, 1.5, 2.5, 3.5, 4.5, std::int64_t{255},
                             std::int64_t{0}, i % 3 != 0, std::string("flag.png"), std::int64_t{1 + i % 9}}});
        std::string text = WriteXmlPacket(one);
        size_t start = text.find("<ROW ");
        rows += text.substr(start, text.find("/>", start) + 2 - start);
        if (i == 3000)
            rows += "<!-- a comment between rows, long enough: " + std::string(5000, '-') + "- -->";
    }
    return Packet(kMarksFields, "<PARAMS AUTOINCVALUE=\"6001\"/>", rows);
}

struct TPacketFileTest : ::testing::Test {
    fs::path Dir = fs::temp_directory_path() /
                   ("marks-file-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::path File = Dir / "marks.sml";
    TClientDataSet Marks{MarksSchema()};

    void SetUp() override
    {
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }

    // Loads the file, letting another program act after the first piece is read.
    std::string LoadWhile(const std::function<void()>& otherProgram)
    {
        // A rewrite must show in the modification time, which the clock ticks of
        // the file system would hide right after the file was written.
        fs::last_write_time(File, fs::last_write_time(File) - std::chrono::hours(1));
        bool done = false;
        return ErrorText([&] {
            Marks.LoadTableFile(File, [&](std::uint64_t, std::uint64_t) {
                if (!std::exchange(done, true))
                    otherProgram();
            });
        });
    }

    std::string ChangedMessage() const
    {
        return "Cannot open file \"" + File.string() +
               "\". The file was changed by another program while it was being read.";
    }
};

} // namespace

TEST_F(TPacketFileTest, PiecesReadAsTheWholeBytes)
{
    const std::string packet = BigMarksPacket();
    ASSERT_GT(packet.size(), 3u << 20);
    WriteFileAtomically(File, packet);
    std::vector<std::uint64_t> progress;
    TPacketContent fromFile = ReadPacketFile(File, [&](std::uint64_t done, std::uint64_t total) {
        EXPECT_EQ(total, packet.size());
        progress.push_back(done);
    });
    EXPECT_EQ(WriteXmlPacket(fromFile), WriteXmlPacket(ReadPacket(packet)));
    EXPECT_EQ(fromFile.Rows.size(), 6000u);
    EXPECT_GE(progress.size(), 4u);
    EXPECT_EQ(progress.back(), packet.size());

    // UTF-8 packets and packets with a long declaration take the whole-file path.
    std::string utf8 = "\xEF\xBB\xBF" + Packet(kCategoriesFields, "", "<ROW id=\"1\" name=\"\xD0\x9C\xD0\xB8\xD1\x80\"/>");
    WriteFileAtomically(File, utf8);
    EXPECT_EQ(std::get<std::string>(ReadPacketFile(File).Rows.at(0).Values.at(1)), "\xcc\xe8\xf0");
    std::string declared = "<?xml version=\"1.0\" " + std::string(2u << 20, ' ') + "encoding=\"UTF-8\"?>" +
                           Packet(kCategoriesFields, "", "<ROW id=\"1\" name=\"\xD0\x9C\"/>").substr(38);
    WriteFileAtomically(File, declared);
    EXPECT_EQ(std::get<std::string>(ReadPacketFile(File).Rows.at(0).Values.at(1)), "\xcc");

    // Cut anywhere, a piece-read file fails as the bytes do.
    WriteFileAtomically(File, packet.substr(0, (5u << 20) / 2));
    EXPECT_EQ(ErrorText([&] { ReadPacketFile(File); }), "Mismatch in datapacket.");
}

TEST_F(TPacketFileTest, TruncatedOrRewrittenWhileReadGivesAnError)
{
    const std::string packet = BigMarksPacket();
    WriteFileAtomically(File, packet);

    // Truncated by another program: a short file, never a crash.
    EXPECT_EQ(LoadWhile([&] { ASSERT_EQ(::truncate(File.c_str(), 100000), 0); }), ChangedMessage());
    EXPECT_FALSE(Marks.IsOpen());

    // Truncated to nothing, then written again in place with other content of the
    // same size: the size matches, the times do not.
    WriteFileAtomically(File, packet);
    EXPECT_EQ(LoadWhile([&] {
                  int fd = ::open(File.c_str(), O_WRONLY | O_TRUNC);
                  ASSERT_GE(fd, 0);
                  std::string other = packet;
                  other.replace(other.find("Mark &gt;1\""), 10, "Other  &gt;");
                  ASSERT_EQ(::write(fd, other.data(), other.size()), static_cast<ssize_t>(other.size()));
                  ::close(fd);
              }),
              ChangedMessage());
    EXPECT_FALSE(Marks.IsOpen());

    // Rewritten in place with the same size and its times put back, as cp -p,
    // touch -r and rsync -t --inplace do: only the change time tells.
    WriteFileAtomically(File, packet);
    EXPECT_EQ(LoadWhile([&] {
                  struct stat opened{};
                  ASSERT_EQ(::stat(File.c_str(), &opened), 0);
                  std::string other = packet;
                  other[other.find("Mark &gt;1\"") + 1] = 'o';
                  const int fd = ::open(File.c_str(), O_WRONLY);
                  ASSERT_EQ(::pwrite(fd, other.data(), other.size(), 0), static_cast<ssize_t>(other.size()));
                  ::close(fd);
                  // Put back until the system's clock has moved the change time on.
                  const timespec times[2] = {opened.st_atim, opened.st_mtim};
                  struct stat now{};
                  do {
                      ASSERT_EQ(::utimensat(AT_FDCWD, File.c_str(), times, 0), 0);
                      ASSERT_EQ(::stat(File.c_str(), &now), 0);
                  } while (now.st_ctim.tv_sec == opened.st_ctim.tv_sec && now.st_ctim.tv_nsec == opened.st_ctim.tv_nsec);
                  ASSERT_EQ(now.st_size, opened.st_size);
              }),
              ChangedMessage());
    EXPECT_FALSE(Marks.IsOpen());

    // Grown by an appended tail.
    WriteFileAtomically(File, packet);
    EXPECT_EQ(LoadWhile([&] {
                  int fd = ::open(File.c_str(), O_WRONLY | O_APPEND);
                  ASSERT_EQ(::write(fd, "  ", 2), 2);
                  ::close(fd);
              }),
              ChangedMessage());

    // Replaced by a new file renamed over it, as careful writers do: the open file
    // is still the old one, read whole and consistent.
    WriteFileAtomically(File, packet);
    EXPECT_EQ(LoadWhile([&] { WriteFileAtomically(File, "<broken"); }), "(no error)");
    EXPECT_EQ(Marks.RecordCount(), 6000u);
}
