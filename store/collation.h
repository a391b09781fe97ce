#pragma once

#include <memory>
#include <string>
#include <string_view>

struct UCollator;

// Locale-aware order of Windows-1251 strings: alphabetical, letter case only as a
// tie-break, and never equal for different strings (the bytes break the last tie).
class TCollator {
public:
    // The locale of a Windows LCID; 0 or an LCID the system does not know gives the
    // user's default locale. A C or POSIX user locale gives the root collation, since
    // the POSIX tailoring orders by code point rather than alphabetically.
    // ignoreCase: letters that differ only in case compare equal; so do texts that
    // differ in nothing else, the tie-break then being their lower-case bytes.
    explicit TCollator(int lcid = 0, bool ignoreCase = false);
    ~TCollator();
    TCollator(const TCollator&) = delete;
    TCollator& operator=(const TCollator&) = delete;

    // Whether the LCID names a locale the system knows.
    static bool IsKnownLcid(int lcid);

    // A key whose byte order (std::string comparison) is the order of Compare. It
    // is self-delimiting, so keys of several fields can be appended one after another.
    std::string SortKey(std::string_view text) const;
    void AppendSortKey(std::string& out, std::string_view text) const;

    // -1, 0 or 1; 0 only for identical bytes (ignoring case: identical lower-case bytes).
    int Compare(std::string_view a, std::string_view b) const;

    const std::string& LocaleName() const { return FLocale; }

private:
    UCollator* FCollator = nullptr;
    std::string FLocale;
    bool FIgnoreCase = false;
};
