#include "zip_archive.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <random>

#include "file_io.h"
#include "marks_error.h"
#include "test_helpers.h"

namespace fs = std::filesystem;

namespace {

std::uint32_t U16(const std::string& b, size_t at)
{
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}

std::uint32_t U32(const std::string& b, size_t at)
{
    return U16(b, at) | (U16(b, at + 2) << 16);
}

// Whether unzip and Python's zipfile both accept the archive (unzip reports an
// empty archive with exit code 1, a warning).
void ExpectToolsAccept(const fs::path& archive, bool empty = false)
{
    EXPECT_EQ(RunCommandLine("unzip -tq '" + archive.string() + "'").Code, empty ? 1 : 0) << archive;
    TCommandResult python = RunCommandLine("python3 -c \"import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                                           "sys.exit(0 if z.testzip() is None else 1)\" '" + archive.string() + "'");
    EXPECT_EQ(python.Code, 0) << archive << python.Output;
}

// Hand-built archives for layouts our writer never produces: stored entries,
// each optionally followed by a data descriptor without its signature (12 bytes),
// so the header carries flag 3 and zero sizes.
struct TRawEntry {
    std::string Name;
    std::string Data;
    bool Descriptor = false;
};

std::string Le(std::uint32_t v, int bytes)
{
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

std::string LocalRecord(const TRawEntry& e)
{
    const auto crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(e.Data.data()),
                                                      static_cast<uInt>(e.Data.size())));
    const auto size = static_cast<std::uint32_t>(e.Data.size());
    std::string out = Le(0x04034B50, 4) + Le(20, 2) + Le(e.Descriptor ? 8 : 0, 2) + Le(0, 2) + Le(0, 4) +
                      Le(e.Descriptor ? 0 : crc, 4) + Le(e.Descriptor ? 0 : size, 4) + Le(e.Descriptor ? 0 : size, 4) +
                      Le(static_cast<std::uint32_t>(e.Name.size()), 2) + Le(0, 2) + e.Name + e.Data;
    if (e.Descriptor)
        out += Le(crc, 4) + Le(size, 4) + Le(size, 4);
    return out;
}

std::string CentralRecord(const TRawEntry& e, std::uint32_t localOffset)
{
    const auto crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(e.Data.data()),
                                                      static_cast<uInt>(e.Data.size())));
    const auto size = static_cast<std::uint32_t>(e.Data.size());
    return Le(0x02014B50, 4) + Le(20, 2) + Le(20, 2) + Le(e.Descriptor ? 8 : 0, 2) + Le(0, 2) + Le(0, 4) + Le(crc, 4) +
           Le(size, 4) + Le(size, 4) + Le(static_cast<std::uint32_t>(e.Name.size()), 2) + Le(0, 2) + Le(0, 2) +
           Le(0, 2) + Le(0, 2) + Le(0x20, 4) + Le(localOffset, 4) + e.Name;
}

std::string EndOfDirectory(std::uint32_t count, std::uint32_t size, std::uint32_t offset)
{
    return Le(0x06054B50, 4) + Le(0, 4) + Le(count, 2) + Le(count, 2) + Le(size, 4) + Le(offset, 4) + Le(0, 2);
}

struct TZipTest : ::testing::Test {
    fs::path Dir = fs::temp_directory_path() /
                   ("marks-zip-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::path Archive = Dir / "a.kmz";
    ZipArchive Zip;

    void SetUp() override
    {
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override
    {
        Zip.CloseArchive();
        fs::remove_all(Dir);
    }
    fs::path Source(const std::string& name, const std::string& bytes)
    {
        WriteFileAtomically(Dir / name, bytes);
        return Dir / name;
    }
    void OpenEmpty()
    {
        ZipArchive::CreateEmptyArchive(Archive);
        Zip.OpenArchive(Archive);
    }
};

} // namespace

TEST_F(TZipTest, EmptyArchiveReplacesAnyFile)
{
    WriteFileAtomically(Archive, std::string(1000, 'x'));
    ZipArchive::CreateEmptyArchive(Archive);
    EXPECT_EQ(ReadWholeFile(Archive), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    Zip.OpenArchive(Archive);
    EXPECT_TRUE(Zip.IsZipFile());
    EXPECT_TRUE(Zip.Entries().empty());
    ExpectToolsAccept(Archive, true);
}

TEST_F(TZipTest, OneAdditionLayout)
{
    OpenEmpty();
    const std::string text(5000, 'a');
    const ZipEntry* e = Zip.AddFileAs(Source("doc.kml", text), "doc.kml");
    ASSERT_NE(e, nullptr);
    const std::string b = ReadWholeFile(Archive);
    const size_t k = 7, c = e->Central.CompressedSize;
    ASSERT_EQ(b.size(), 30 + k + c + 46 + k + 22);
    EXPECT_EQ(U32(b, 0), 0x04034B50u);
    EXPECT_EQ(U16(b, 4), 20u);
    EXPECT_EQ(U16(b, 6), 0u);
    EXPECT_EQ(U16(b, 8), 8u);
    EXPECT_EQ(U32(b, 14), static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(text.data()), 5000)));
    EXPECT_EQ(U32(b, 22), 5000u);
    EXPECT_EQ(b.substr(30, k), "doc.kml");
    const size_t central = 30 + k + c;
    EXPECT_EQ(U32(b, central), 0x02014B50u);
    EXPECT_EQ(U16(b, central + 4), 20u);
    EXPECT_EQ(U32(b, central + 38), 0x20u);
    EXPECT_EQ(U32(b, central + 42), 0u);
    const size_t end = central + 46 + k;
    EXPECT_EQ(U32(b, end), 0x06054B50u);
    EXPECT_EQ(U16(b, end + 8), 1u);
    EXPECT_EQ(U16(b, end + 10), 1u);
    EXPECT_EQ(U32(b, end + 12), 46 + k);
    EXPECT_EQ(U32(b, end + 16), central);

    // The stored data is a raw deflate stream of the source.
    std::string inflated(5000, '\0');
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(b.data() + 30 + k));
    z.avail_in = static_cast<uInt>(c);
    z.next_out = reinterpret_cast<Bytef*>(inflated.data());
    z.avail_out = 5000;
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
    inflateEnd(&z);
    EXPECT_EQ(inflated, text);
    ExpectToolsAccept(Archive);
}

TEST_F(TZipTest, EmptyIncompressibleReplacedAndFolderEntries)
{
    OpenEmpty();
    const ZipEntry* empty = Zip.AddFileAs(Source("empty.txt", ""), "empty.txt");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->Central.Method, 0u);
    EXPECT_EQ(empty->Central.Crc, 0u);
    EXPECT_EQ(empty->Central.CompressedSize, 0u);

    std::string noise(4096, '\0');
    std::mt19937 rng(3);
    for (char& ch : noise)
        ch = static_cast<char>(rng());
    const ZipEntry* png = Zip.AddFileAs(Source("noise.png", noise), "noise.png");
    EXPECT_EQ(png->Central.Method, 8u);
    EXPECT_GT(png->Central.CompressedSize, noise.size());

    Zip.AddFileAs(Source("Icon.png", "first icon bytes"), "Icon.png");
    Zip.AddFileAs(Source("other.png", "second icon bytes"), "ICON.PNG");
    Zip.AddFileAs(Source("x.png", "x"), "C:\\dir\\x.png");
    EXPECT_EQ(Zip.AddFileAs(Dir / "missing.png", "missing.png"), nullptr);
    EXPECT_EQ(Zip.AddFileAs(Dir, "folder"), nullptr);

    std::vector<std::string> names;
    for (const ZipEntry& e : Zip.Entries())
        names.push_back(e.Central.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"empty.txt", "noise.png", "ICON.PNG", "dir/", "dir/x.png"}));
    const ZipEntry& folder = Zip.Entries()[3];
    EXPECT_EQ(folder.Central.ExternalAttributes, 0x10u);
    EXPECT_EQ(folder.Central.Method, 0u);
    EXPECT_TRUE(folder.IsFolder);
    Zip.CloseArchive();
    ExpectToolsAccept(Archive);

    // Read back from disk: the same directory, every local header in place.
    Zip.OpenArchive(Archive);
    ASSERT_TRUE(Zip.IsZipFile());
    EXPECT_FALSE(Zip.HasDamagedEntries());
    EXPECT_EQ(Zip.Entries().size(), 5u);
    EXPECT_EQ(Zip.Entries()[2].Local.Name, "ICON.PNG");
    EXPECT_EQ(Zip.Entries()[2].Compression, ctNormal);
}

TEST_F(TZipTest, RemovalInPlaceAndByRebuild)
{
    OpenEmpty();
    Zip.AddFileAs(Source("a.txt", std::string(300, 'a')), "a.txt");
    Zip.AddFileAs(Source("b.txt", std::string(300, 'b')), "b.txt");
    Zip.AddFileAs(Source("c.txt", std::string(300, 'c')), "c.txt");
    Zip.RemoveEntry(1);
    ASSERT_EQ(Zip.Entries().size(), 2u);
    EXPECT_EQ(Zip.Entries()[1].Central.Name, "c.txt");
    ExpectToolsAccept(Archive);
    Zip.SaveMethod = RebuildAll;
    Zip.RemoveEntry(0);
    ASSERT_EQ(Zip.Entries().size(), 1u);
    EXPECT_EQ(Zip.Entries()[0].Central.LocalOffset, 0u);
    ExpectToolsAccept(Archive);
    Zip.RemoveEntry(0);
    EXPECT_EQ(ReadWholeFile(Archive), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
}

TEST_F(TZipTest, ForeignLayoutsAreChangedWithoutLoss)
{
    const TRawEntry a{"a.txt", std::string(40, 'a'), true}, b{"b.txt", std::string(40, 'b'), true};
    const std::string locals = LocalRecord(a) + LocalRecord(b);
    const std::string directory = CentralRecord(a, 0) + CentralRecord(b, static_cast<std::uint32_t>(LocalRecord(a).size()));
    const auto dirOffset = static_cast<std::uint32_t>(locals.size());
    const auto dirSize = static_cast<std::uint32_t>(directory.size());

    // Unused bytes between the directory and its end record: the new, shorter
    // tail must not leave the old end record behind it.
    Source("gap.zip", locals + directory + std::string(600, 'x') + EndOfDirectory(2, dirSize, dirOffset));
    Zip.OpenArchive(Dir / "gap.zip");
    Zip.AddData("c.txt", "c", 0, 0x20);
    Zip.OpenArchive(Dir / "gap.zip");
    ASSERT_TRUE(Zip.IsZipFile());
    EXPECT_EQ(Zip.Entries().size(), 3u);
    Zip.CloseArchive();
    ExpectToolsAccept(Dir / "gap.zip");

    // Removing an entry followed by a 12-byte data descriptor moves the next
    // entry down by exactly what the first occupied.
    Source("descriptors.zip", locals + directory + EndOfDirectory(2, dirSize, dirOffset));
    Zip.OpenArchive(Dir / "descriptors.zip");
    Zip.RemoveEntry(0);
    Zip.OpenArchive(Dir / "descriptors.zip");
    ASSERT_TRUE(Zip.IsZipFile());
    EXPECT_FALSE(Zip.HasDamagedEntries());
    ASSERT_EQ(Zip.Entries().size(), 1u);
    EXPECT_EQ(Zip.Entries()[0].Central.LocalOffset, 0u);
    Zip.SaveMethod = RebuildAll;
    Zip.AddData("c.txt", "c", 0, 0x20);
    Zip.RemoveEntry(1);
    Zip.CloseArchive();
    ExpectToolsAccept(Dir / "descriptors.zip");
    EXPECT_EQ(ReadWholeFile(Dir / "descriptors.zip").substr(0, LocalRecord(b).size()), LocalRecord(b));

    // An entry stored after the directory would be overwritten by any change:
    // the change is refused and the file stays as it was.
    const std::string after = CentralRecord(a, 46 + 5) + LocalRecord(a) + EndOfDirectory(1, 46 + 5, 0);
    Source("after.zip", after);
    Zip.OpenArchive(Dir / "after.zip");
    ASSERT_TRUE(Zip.IsZipFile());
    try {
        Zip.AddData("c.txt", "c", 0, 0x20);
        ADD_FAILURE() << "an archive with an entry after its directory was changed";
    } catch (const EMarksError& e) {
        EXPECT_EQ(std::string(e.what()), "The archive \"" + (Dir / "after.zip").string() +
                                             "\" has entries after its directory; it cannot be changed in place.");
    }
    Zip.CloseArchive();
    EXPECT_EQ(ReadWholeFile(Dir / "after.zip"), after);

    // Two directory records over one local record: removing either would move
    // the bytes the other still needs.
    const std::string shared = LocalRecord(a) + CentralRecord(a, 0) + CentralRecord(a, 0) +
                               EndOfDirectory(2, 2 * (46 + 5), static_cast<std::uint32_t>(LocalRecord(a).size()));
    Source("shared.zip", shared);
    Zip.OpenArchive(Dir / "shared.zip");
    ASSERT_EQ(Zip.Entries().size(), 2u);
    EXPECT_THROW(Zip.RemoveEntry(0), EMarksError);
    Zip.CloseArchive();
    EXPECT_EQ(ReadWholeFile(Dir / "shared.zip"), shared);
}

TEST_F(TZipTest, StreamedEntriesAndFailingProducers)
{
    OpenEmpty();
    Zip.AddData("first.txt", "first", 0, 0x20);
    // Several buffers of output, fed in uneven pieces.
    std::mt19937 random(7);
    std::string text;
    while (text.size() < 3'000'000)
        text += std::to_string(random()) + (random() % 5 ? " " : "\r\n");
    const ZipEntry& big = Zip.AddStream("big.kml", 0x5A210000, 0x20, [&](const TByteWriter& write) {
        for (size_t at = 0; at < text.size(); at += 70'001)
            write(std::string_view(text).substr(at, 70'001));
    });
    EXPECT_EQ(big.Central.Method, 8u);
    EXPECT_EQ(big.Central.UncompressedSize, text.size());
    EXPECT_EQ(big.Central.Crc,
              static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size()))));
    // Nothing written is stored as an empty entry, as AddData stores no data.
    const ZipEntry& empty = Zip.AddStream("empty.kml", 0, 0x20, [](const TByteWriter&) {});
    EXPECT_EQ(empty.Central.Method, 0u);
    EXPECT_EQ(empty.Central.CompressedSize, 0u);
    Zip.CloseArchive();
    ExpectToolsAccept(Archive);
    EXPECT_EQ(RunCommandLine("unzip -p '" + Archive.string() + "' big.kml | cmp -s - '" +
                             Source("big.txt", text).string() + "'").Code, 0);

    // A producer that fails half way leaves the archive byte for byte as it was.
    const std::string before = ReadWholeFile(Archive);
    Zip.OpenArchive(Archive);
    EXPECT_THROW(Zip.AddStream("broken.kml", 0, 0x20,
                               [&](const TByteWriter& write) {
                                   write(text);
                                   throw EMarksError("the producer failed");
                               }),
                 EMarksError);
    EXPECT_EQ(Zip.Entries().size(), 3u);
    Zip.CloseArchive();
    EXPECT_EQ(ReadWholeFile(Archive), before);
}

TEST_F(TZipTest, OpeningFailuresAndForeignFiles)
{
    auto error = [&](const fs::path& p) {
        try {
            Zip.OpenArchive(p);
        } catch (const EMarksError& e) {
            return std::string(e.what());
        }
        return std::string("(opened)");
    };
    EXPECT_EQ(error(Dir / "none.zip"), "File \"" + (Dir / "none.zip").string() + "\" not found!");
    EXPECT_EQ(error(Source("short.zip", "PK")), "(opened)");
    EXPECT_FALSE(Zip.IsZipFile());
    EXPECT_THROW(Zip.AddFileAs(Source("s.txt", "s"), "s.txt"), EMarksError);

    // An end record that claims a directory the file does not have.
    std::string lying = std::string("PK\x05\x06", 4) + std::string(4, '\0') + "\x05\x00\x05\x00" +
                        "\x2e\x00\x00\x00" + "\x00\x10\x00\x00" + std::string(2, '\0');
    EXPECT_EQ(error(Source("lying.zip", lying)), "(opened)");
    EXPECT_FALSE(Zip.IsZipFile());

    // Without an end record the local headers are scanned.
    OpenEmpty();
    Zip.AddFileAs(Source("k.kml", "<kml/>"), "k.kml");
    Zip.CloseArchive();
    std::string bytes = ReadWholeFile(Archive);
    Source("cut.zip", bytes.substr(0, 30 + 5 + U32(bytes, 18)));
    EXPECT_EQ(error(Dir / "cut.zip"), "(opened)");
    EXPECT_TRUE(Zip.IsZipFile());
    EXPECT_TRUE(Zip.HasDamagedEntries());
    ASSERT_EQ(Zip.Entries().size(), 1u);
    EXPECT_EQ(Zip.Entries()[0].Central.Name, "k.kml");

    EXPECT_NE(std::string([&] {
                  try {
                      ZipArchive::CreateEmptyArchive(Dir / "no" / "such" / "x.kmz");
                  } catch (const EMarksError& e) {
                      return std::string(e.what());
                  }
                  return std::string();
              }())
                  .find("Cannot create file"),
              std::string::npos);
}

TEST(ZipNames, Normalisation)
{
    ZipArchive zip;
    EXPECT_EQ(zip.NormalizeName("C:\\dir\\x.png"), "dir/x.png");
    EXPECT_EQ(zip.NormalizeName("\\\\server\\share\\dir\\x.png"), "dir/x.png");
    EXPECT_EQ(zip.NormalizeName("a/b.png"), "a/b.png");
    zip.StoreRelativePath = false;
    EXPECT_EQ(zip.NormalizeName("C:\\dir\\x.png"), "x.png");
    EXPECT_EQ(DosDateTime(0), 0u);
}
