#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "code_page.h"
#include "collation.h"

TEST(CodePage, EveryByteSurvivesTheWayThroughUnicode)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(Utf16ToCp1251(Cp1251ToUtf16(all)), all);
    std::string utf8 = Cp1251ToUtf8(all);
    EXPECT_TRUE(IsWellFormedUtf8(utf8));
    EXPECT_EQ(Utf8ToCp1251(utf8), all);
    EXPECT_EQ(Cp1251ToUtf8("\xc0\xe1\xe2 \xb9"), "\xd0\x90\xd0\xb1\xd0\xb2 \xe2\x84\x96");
}

TEST(CodePage, Utf8Checks)
{
    EXPECT_TRUE(IsWellFormedUtf8("plain \xd0\x96 \xf0\x9f\x98\x80"));
    EXPECT_FALSE(IsWellFormedUtf8("\xc0\x80"));         // overlong
    EXPECT_FALSE(IsWellFormedUtf8("\xed\xa0\x80"));     // surrogate
    EXPECT_FALSE(IsWellFormedUtf8("\xd0"));             // cut short
    EXPECT_EQ(Utf16ToCp1251(u"\u4e2d\U0001F600x"), "??x");
}

TEST(Collation, AlphabeticalWithCaseAsTieBreak)
{
    TCollator collator(1049);
    std::vector<std::string> names = {"banana", "apple", "Apple", "\xe1\xe0\xed\xe0\xed", "\xc0\xe1\xe2", "b"};
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        return collator.Compare(a, b) < 0;
    });
    // Latin and Cyrillic each alphabetical; the two apples next to each other.
    auto at = [&](const std::string& s) { return std::find(names.begin(), names.end(), s) - names.begin(); };
    EXPECT_EQ(std::abs(at("apple") - at("Apple")), 1);
    EXPECT_LT(std::max(at("apple"), at("Apple")), at("b"));
    EXPECT_LT(at("b"), at("banana"));
    EXPECT_LT(at("\xc0\xe1\xe2"), at("\xe1\xe0\xed\xe0\xed"));
    EXPECT_NE(collator.Compare("apple", "Apple"), 0);
    EXPECT_EQ(collator.Compare("same", "same"), 0);

    // Sort keys order exactly as Compare does.
    for (const auto& a : names)
        for (const auto& b : names) {
            int byKey = collator.SortKey(a).compare(collator.SortKey(b));
            EXPECT_EQ(byKey < 0 ? -1 : (byKey > 0 ? 1 : 0), collator.Compare(a, b)) << a << " " << b;
        }
}

TEST(Collation, IgnoringCase)
{
    TCollator collator(1049, true);
    // Letter case alone makes no difference, Latin or Cyrillic (\xa8 and \xb8: Yo).
    EXPECT_EQ(collator.Compare("Apple.PNG", "apple.png"), 0);
    EXPECT_EQ(collator.Compare("\xa8\xeb\xea\xe0", "\xb8\xcb\xca\xc0"), 0);
    // Alphabetical, not by code: A before Yo, although Yo has the smaller byte.
    EXPECT_LT(collator.Compare("\xe0", "\xb8"), 0);
    // What the collation ignores (a soft hyphen) still tells two names apart.
    EXPECT_NE(collator.Compare("a\xad" "b", "ab"), 0);
    const std::vector<std::string> names = {"a\xad" "b", "ab", "AB", "\xa8", "\xe0", "", "a"};
    for (const auto& a : names)
        for (const auto& b : names) {
            int byKey = collator.SortKey(a).compare(collator.SortKey(b));
            EXPECT_EQ(byKey < 0 ? -1 : (byKey > 0 ? 1 : 0), collator.Compare(a, b)) << a << " " << b;
        }
}

TEST(Collation, UnknownLcidFallsBackToTheUserLocale)
{
    EXPECT_TRUE(TCollator::IsKnownLcid(1049));
    EXPECT_FALSE(TCollator::IsKnownLcid(0x7ff0));
    TCollator fallback(0x7ff0);
    EXPECT_LT(fallback.Compare("a", "B"), 0);
}

TEST(Collation, LocaleOrderIsNotByteOrder)
{
    // Byte order puts capitals before small letters and Windows-1251's "yo" (0xB8)
    // and capital Cyrillic letters before the small ones; the locale does neither.
    TCollator russian(1049);
    std::vector<std::string> names = {"banana", "Cherry", "apple", "\xb8\xe6", "\xc1\xe5\xeb\xea\xe0", "\xe0\xe8\xf1\xf2"};
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        return russian.Compare(a, b) < 0;
    });
    // The Russian order puts Cyrillic first: aist, Belka, yozh; then apple, banana, Cherry.
    EXPECT_EQ(names, (std::vector<std::string>{"\xe0\xe8\xf1\xf2", "\xc1\xe5\xeb\xea\xe0", "\xb8\xe6", "apple", "banana",
                                               "Cherry"}));
}
