#include "kmz_package.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "file_io.h"

namespace fs = std::filesystem;

namespace {

std::vector<ZipEntry> EntriesOf(const fs::path& archive)
{
    ZipArchive zip;
    zip.OpenArchive(archive);
    return zip.Entries();
}

} // namespace

TEST(KmzPackage, IconNamesArePlainFileNamesInsideTheIconFolder)
{
    const fs::path root = fs::temp_directory_path() / "marks-kmz-icon-names";
    const fs::path icons = root / "program" / "MarksIcons";
    fs::remove_all(root);
    fs::create_directories(icons / "sub");
    WriteFileAtomically(root / "secret.txt", "a local file");
    WriteFileAtomically(icons / "ok.png", "icon");
    WriteFileAtomically(icons / "sub" / "ok.png", "icon in a subfolder");
    WriteFileAtomically(icons / "back\\slash.png", "a name that is a path elsewhere");
    WriteFileAtomically(icons / "bell\x07.png", "a name no table should hold");

    const TIconNameList names = {"../../secret.txt", (root / "secret.txt").string(), "..", ".", "sub/ok.png",
                                 "back\\slash.png", "bell\x07.png", "ok.png", ""};
    ZipArchive zip;
    WriteKmzPackage(zip, root / "out.kmz", "<kml/>", names, icons);
    std::vector<std::string> entries;
    for (const ZipEntry& e : EntriesOf(root / "out.kmz"))
        entries.push_back(e.Central.Name);
    EXPECT_EQ(entries, (std::vector<std::string>{"ok.png", "out.kml"}));
    fs::remove_all(root);
}

TEST(KmzPackage, Utf8EntryNamesAreFlaggedAndAsciiNamesStayAsTheyWere)
{
    const fs::path root = fs::temp_directory_path() / "marks-kmz-utf8-names";
    const fs::path icons = root / "MarksIcons";
    fs::remove_all(root);
    fs::create_directories(icons);
    // Sha and I differ in the second UTF-8 byte only where Windows-1251 would lower
    // one onto the other: both must stay.
    WriteFileAtomically(icons / "\xd0\xa8.png", "sha");
    WriteFileAtomically(icons / "\xd0\x98.png", "i");
    WriteFileAtomically(icons / "Flag.png", "flag");
    // A file named in the table's own bytes is found too.
    WriteFileAtomically(icons / "\xc8\xe7\xe1\xe0.png", "izba");

    const TIconNameList names = {"\xd8.png", "\xc8.png", "flag.png", "\xc8\xe7\xe1\xe0.png"};
    ZipArchive zip;
    WriteKmzPackage(zip, root / "out.kmz", "<kml/>", names, icons);
    std::vector<std::pair<std::string, int>> entries;
    for (const ZipEntry& e : EntriesOf(root / "out.kmz")) {
        entries.emplace_back(e.Central.Name, e.Central.Flag);
        EXPECT_EQ(e.Local.Flag, e.Central.Flag);
    }
    EXPECT_EQ(entries, (std::vector<std::pair<std::string, int>>{{"flag.png", 0},
                                                                  {"\xd0\x98.png", 0x800},
                                                                  {"\xd0\x98\xd0\xb7\xd0\xb1\xd0\xb0.png", 0x800},
                                                                  {"\xd0\xa8.png", 0x800},
                                                                  {"out.kml", 0}}));

    // The archive component keeps its default: names as given, flag 0.
    ZipArchive plain;
    ZipArchive::CreateEmptyArchive(root / "plain.zip");
    plain.OpenArchive(root / "plain.zip");
    plain.AddData("\xd8.png", "x", 0, 0x20);
    plain.AddData("\xf8.PNG", "y", 0, 0x20);
    plain.CloseArchive();
    const std::vector<ZipEntry> plainEntries = EntriesOf(root / "plain.zip");
    ASSERT_EQ(plainEntries.size(), 1u);
    EXPECT_EQ(plainEntries[0].Central.Name, "\xf8.PNG");
    EXPECT_EQ(plainEntries[0].Central.Flag, 0);
    fs::remove_all(root);
}
