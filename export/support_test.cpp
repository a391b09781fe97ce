#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

#include "export_driver.h"
#include "file_io.h"
#include "ini_file.h"
#include "number_format.h"
#include "test_helpers.h"

TEST(NumberFormat, MatchesTheCLibraryExactly)
{
    auto printf6 = [](long double v) {
        char buf[512];
        std::snprintf(buf, sizeof buf, "%.6Lf", v);
        return std::string(buf);
    };
    auto fast6 = [](long double v) {
        std::string s;
        AppendFixed6(s, v);
        return s;
    };
    for (long double v : {0.0L, -0.0L, 37.6L, 55.75L, -180.0L, 1.0L / 128, 3.0L / 128, -5.0L / 128, 0.0000005L,
                          -0.0000004L, 999999.9999995L, 1e-30L, -1e-30L, 1e15L, 123456789012.0L, 1e300L,
                          18446744073709551615.0L, 18446744073709551616.0L, -1e20L, 3.4e37L,
                          std::numeric_limits<long double>::infinity()})
        EXPECT_EQ(fast6(v), printf6(v)) << printf6(v);
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> unit(-1, 1);
    for (int i = 0; i < 200000; ++i) {
        long double v = static_cast<long double>(unit(rng)) * std::pow(10.0L, static_cast<int>(rng() % 12) - 3);
        v += static_cast<long double>(unit(rng)) * 1e-12L;
        ASSERT_EQ(fast6(v), printf6(v)) << printf6(v);
    }
    // Exact ties on the sixth decimal round to even.
    for (int k = -4000; k <= 4000; ++k)
        ASSERT_EQ(fast6(k / 128.0L), printf6(k / 128.0L));
}

TEST(IniFile, ProfileReaderRules)
{
    TIniFile ini = TIniFile::FromText("garbage before sections\n[A]\nType = \"2f\" \n;Type=no\n[ b ]\r\nkey=1\r"
                                      "TYPE=x\n[a]\ntype=late\nType=later\n[C\n[D]");
    EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"A", "b", "C", "D"}));
    EXPECT_EQ(ini.ReadString("a", "type"), "2f");
    EXPECT_EQ(ini.ReadString("B", "Type"), "x");
    EXPECT_EQ(ini.ReadString("D", "Type"), "");
    EXPECT_EQ(ini.ReadString("none", "Type"), "");
    EXPECT_TRUE(TIniFile("/nonexistent/Icons.ini").SectionNames().empty());

    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += "[s" + std::to_string(i) + "]\nType=" + std::to_string(i) + "\n";
    TIniFile big = TIniFile::FromText(many);
    std::vector<std::string> names = big.SectionNames();
    size_t bytes = 1;
    for (const auto& n : names)
        bytes += n.size() + 1;
    EXPECT_LE(bytes, 16384u);
    EXPECT_GT(names.size(), 2000u);
    EXPECT_EQ(big.ReadString("s99999", "Type"), "99999");
}

TEST(ExportDriver, SaveExportTextEndsEveryLineWithCrLf)
{
    const auto path = std::filesystem::temp_directory_path() / "marks-export-text.txt";
    SaveExportText(std::string("a\nb\r\nc\rd\r\n\r\ne\0tail\n", 20), path);
    EXPECT_EQ(ReadWholeFile(path), "a\r\nb\r\nc\r\nd\r\n\r\ne\r\n");
    SaveExportText("", path);
    EXPECT_EQ(ReadWholeFile(path), "");
    SaveExportText("x\n\n", path);
    EXPECT_EQ(ReadWholeFile(path), "x\r\n\r\n");
    std::filesystem::remove(path);
    EXPECT_EQ(FillTemplate("a%sb", "XY"), "aXYb");
}

TEST(ExportDriver, SaveExportDocumentWritesWhatTheFilledTemplateWould)
{
    const auto path = std::filesystem::temp_directory_path() / "marks-export-document.txt";
    auto both = [&](std::string_view documentTemplate, std::string_view body) {
        SaveExportText(FillTemplate(documentTemplate, body), path);
        std::string whole = ReadWholeFile(path);
        SaveExportDocument(documentTemplate, body, path);
        return std::make_pair(whole, ReadWholeFile(path));
    };
    // Line ends split between the template and the body, a NUL in the body or the
    // template's tail, and bodies larger than the write buffer.
    std::string big;
    std::mt19937 rng(3);
    const char bytes[] = {'a', 'b', '\r', '\n', ',', 'x'};
    while (big.size() < (3u << 20))
        big.push_back(bytes[rng() % 6]);
    const std::pair<std::string, std::string> cases[] = {
        {"head\r%s\ntail", "body"},   {"head%s\r\n", "\nbody\r"}, {"a%sb", std::string("x\0y", 3)},
        {std::string("a%sb\0c\n", 7), "x\r"}, {"%s", ""},          {"no marker", "body\n"},
        {"<doc>\r\n%s</doc>", big},   {"%s", std::string(2u << 20, 'z')},
    };
    for (const auto& [documentTemplate, body] : cases) {
        auto [filled, streamed] = both(documentTemplate, body);
        EXPECT_EQ(streamed, filled) << documentTemplate;
    }
    std::filesystem::remove(path);

    // The folder of the target is missing: the usual message, no file left.
    EXPECT_NE(ErrorText([&] { SaveExportDocument("%s", "x", path.parent_path() / "no-such-folder" / "a.txt"); })
                  .find("Cannot create file"),
              std::string::npos);
}
