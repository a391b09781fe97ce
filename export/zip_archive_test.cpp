#include "zip_archive.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <functional>
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

// n stored entries of empty data, their end record counting statedCount.
std::string RawArchive(size_t n, size_t statedCount)
{
    std::string locals, directory;
    for (size_t i = 0; i < n; ++i) {
        const TRawEntry e{"e" + std::to_string(i), ""};
        directory += CentralRecord(e, static_cast<std::uint32_t>(locals.size()));
        locals += LocalRecord(e);
    }
    return locals + directory +
           EndOfDirectory(static_cast<std::uint32_t>(statedCount & 0xFFFF), static_cast<std::uint32_t>(directory.size()),
                          static_cast<std::uint32_t>(locals.size()));
}

// A sparse archive whose one stored entry fills the file up to its directory at
// centralOffset.
void SparseArchive(const fs::path& path, std::uint32_t centralOffset)
{
    const std::uint32_t size = centralOffset - 33;
    const std::string local = Le(0x04034B50, 4) + Le(10, 2) + Le(0, 2) + Le(0, 2) + Le(0, 4) + Le(0, 4) + Le(size, 4) +
                              Le(size, 4) + Le(3, 2) + Le(0, 2) + "big";
    const std::string tail = Le(0x02014B50, 4) + Le(20, 2) + Le(10, 2) + Le(0, 2) + Le(0, 2) + Le(0, 4) + Le(0, 4) +
                             Le(size, 4) + Le(size, 4) + Le(3, 2) + Le(0, 4) + Le(0, 2) + Le(0, 2) + Le(0x20, 4) + Le(0, 4) + "big" +
                             EndOfDirectory(1, 49, centralOffset);
    WriteFileAtomically(path, local);
    fs::resize_file(path, centralOffset);
    std::FILE* f = std::fopen(path.c_str(), "ab");
    ASSERT_NE(f, nullptr);
    std::fwrite(tail.data(), 1, tail.size(), f);
    std::fclose(f);
}

// The size of a file and the CRC-32 of its last 8 MB: all a refused change could
// have touched.
std::string Fingerprint(const fs::path& path)
{
    const std::uintmax_t size = fs::file_size(path);
    const std::uintmax_t from = size > (8u << 20) ? size - (8u << 20) : 0;
    std::string tail(size - from, '\0');
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::fseek(f, static_cast<long>(from), SEEK_SET);
    tail.resize(std::fread(tail.data(), 1, tail.size(), f));
    std::fclose(f);
    return std::to_string(size) + ":" + std::to_string(crc32(0, reinterpret_cast<const Bytef*>(tail.data()),
                                                             static_cast<uInt>(tail.size())));
}

// An entry's bytes as a reader gets them: at its data offset, inflated.
std::string EntryBytes(const fs::path& archive, const ZipEntry& e)
{
    const std::string stored = ReadWholeFile(archive).substr(ZipArchive::DataOffset(e), e.Central.CompressedSize);
    if (e.Central.Method == 0)
        return stored;
    std::string out(e.Central.UncompressedSize, '\0');
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stored.data()));
    z.avail_in = static_cast<uInt>(stored.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const bool ended = inflate(&z, Z_FINISH) == Z_STREAM_END;
    inflateEnd(&z);
    return ended ? out : "(damaged)";
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

    // A producer that fails half way leaves the archive byte for byte as it was,
    // also the entry it was to replace.
    const std::string before = ReadWholeFile(Archive);
    Zip.OpenArchive(Archive);
    EXPECT_THROW(Zip.AddStream("FIRST.TXT", 0, 0x20,
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

    // A folder is no archive, and says why when something is added to it.
    fs::create_directory(Dir / "folder.zip");
    EXPECT_EQ(error(Dir / "folder.zip"), "(opened)");
    EXPECT_EQ(ErrorText([&] { Zip.AddData("x", "x", 0, 0x20); }),
              "The file \"" + (Dir / "folder.zip").string() + "\" is not a ZIP archive: it is not a regular file.");

    // Back-to-back local headers without a directory: refused once there are more
    // than any archive without one holds, before they cost much memory.
    std::string headers;
    for (int i = 0; i <= 0xFFFF; ++i)
        headers += LocalRecord({"", ""});
    EXPECT_EQ(error(Source("headers.zip", headers)), "(opened)");
    EXPECT_FALSE(Zip.IsZipFile());
    EXPECT_EQ(ErrorText([&] { Zip.AddData("x", "x", 0, 0x20); }),
              "The file \"" + (Dir / "headers.zip").string() +
                  "\" is not a ZIP archive: it has no ZIP directory, and more entries than an archive without one can hold.");

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

TEST_F(TZipTest, Zip64ArchivesAreReadButNotChanged)
{
    const std::string kml = "<kml>" + std::string(3000, 'k') + "</kml>";
    Source("doc.kml", kml);
    Source("icon.png", "\x89PNG");
    // Info-ZIP with ZIP64 records forced; Python with one entry's ZIP64 extra field
    // forced, and with 70,001 entries (a ZIP64 end record, a count past 16 bits).
    ASSERT_EQ(RunCommandLine("cd '" + Dir.string() + "' && zip -q -fz fz.zip icon.png doc.kml").Code, 0);
    Source("make.py", "import sys, zipfile\n"
                      "d = sys.argv[1]\n"
                      "kml = open(d + '/doc.kml', 'rb').read()\n"
                      "with zipfile.ZipFile(d + '/forced.zip', 'w', zipfile.ZIP_DEFLATED) as z:\n"
                      "    with z.open('doc.kml', 'w', force_zip64=True) as f:\n"
                      "        f.write(kml)\n"
                      "with zipfile.ZipFile(d + '/many.zip', 'w') as z:\n"
                      "    for i in range(70000):\n"
                      "        z.writestr('p/%05d.txt' % i, '')\n"
                      "    z.writestr('doc.kml', kml, zipfile.ZIP_DEFLATED)\n");
    const TCommandResult python = RunCommandLine("python3 '" + (Dir / "make.py").string() + "' '" + Dir.string() + "'");
    ASSERT_EQ(python.Code, 0) << python.Output;

    for (const char* name : {"fz.zip", "forced.zip", "many.zip"}) {
        const fs::path archive = Dir / name;
        Zip.OpenArchiveForReading(archive);
        ASSERT_TRUE(Zip.IsZipFile()) << name;
        EXPECT_FALSE(Zip.HasDamagedEntries()) << name;
        EXPECT_EQ(Zip.Entries().back().Central.Name, "doc.kml") << name;
        EXPECT_EQ(EntryBytes(archive, Zip.Entries().back()), kml) << name;
        EXPECT_EQ(Zip.Entries().size(), std::string(name) == "many.zip" ? 70001u : std::string(name) == "fz.zip" ? 2u : 1u);

        const std::string before = ReadWholeFile(archive);
        const std::string refusal = "The archive \"" + archive.string() + "\" is a ZIP64 archive; it cannot be changed in place.";
        Zip.OpenArchive(archive);
        EXPECT_EQ(ErrorText([&] { Zip.AddData("new.txt", "new", 0, 0x20); }), refusal);
        EXPECT_EQ(ErrorText([&] { Zip.RemoveEntry(0); }), refusal);
        Zip.CloseArchive();
        EXPECT_EQ(ReadWholeFile(archive), before) << name;
    }
}

TEST_F(TZipTest, ChangesThatCouldLoseEntriesAreRefused)
{
    OpenEmpty();
    Zip.AddData("kept.txt", "kept", 0, 0x20);
    Zip.CloseArchive();
    Source("modulo.zip", RawArchive(0x10001, 0x10001));
    Source("full.zip", RawArchive(0xFFFF, 0xFFFF));
    Source("junk.zip", std::string(100, 'j'));
    SparseArchive(Dir / "edge.zip", 0xFFFFFE00);
    const fs::path huge = Source("huge.bin", "");
    fs::resize_file(huge, 0x100000000);
    void* view = ::mmap(nullptr, 0x100000000, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(view, MAP_FAILED);
    std::string noise(1000, '\0');
    std::mt19937 random(5);
    for (char& c : noise)
        c = static_cast<char>(random());

    struct TCase {
        fs::path File;
        bool ForReading;
        std::function<void()> Change;
        std::string Why;
    };
    const std::vector<TCase> cases = {
        {"modulo.zip", false, [&] { Zip.AddData("new.txt", "n", 0, 0x20); },
         "has a directory that does not match its end record; it cannot be changed in place"},
        {"full.zip", false, [&] { Zip.AddData("new.txt", "n", 0, 0x20); }, "cannot hold more than 65535 entries"},
        {"a.kmz", false, [&] { Zip.AddData(std::string(0x10000, 'n'), "n", 0, 0x20); },
         "cannot take an entry name longer than 65535 bytes"},
        {"a.kmz", false, [&] { Zip.AddData("huge.bin", std::string_view(static_cast<const char*>(view), 0x100000000), 0, 0x20); },
         "cannot take an entry of 4 GB or more without ZIP64"},
        {"a.kmz", false, [&] { Zip.AddFileAs(huge, "huge.bin"); },
         "cannot take the file \"" + huge.string() + "\": it is 4 GB or larger, which needs ZIP64"},
        // The folder entry still fits below 4 GB, the file does not: neither stays.
        {"edge.zip", false, [&] { Zip.AddData("dir/x.bin", noise, 0, 0x20); }, "cannot grow past 4 GB without ZIP64"},
        {"a.kmz", true, [&] { Zip.AddData("new.txt", "n", 0, 0x20); }, "is open for reading only; it cannot be changed"},
    };
    for (const TCase& c : cases) {
        const fs::path archive = Dir / c.File;
        const std::string before = Fingerprint(archive);
        c.ForReading ? Zip.OpenArchiveForReading(archive) : Zip.OpenArchive(archive);
        const size_t entries = Zip.Entries().size();
        EXPECT_EQ(ErrorText(c.Change), "The archive \"" + archive.string() + "\" " + c.Why + ".");
        EXPECT_EQ(Zip.Entries().size(), entries) << c.Why;
        Zip.CloseArchive();
        EXPECT_EQ(Fingerprint(archive), before) << c.Why;
    }
    ::munmap(view, 0x100000000);
    EXPECT_EQ(ErrorText([&] {
                  Zip.OpenArchive(Dir / "junk.zip");
                  Zip.AddData("new.txt", "n", 0, 0x20);
              }),
              "The file \"" + (Dir / "junk.zip").string() + "\" is not a ZIP archive: it holds no ZIP directory.");
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
