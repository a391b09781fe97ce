#include "collation.h"

#include <unicode/uloc.h>
#include <unicode/ucol.h>

#include <cstring>
#include <vector>

#include "code_page.h"
#include "marks_error.h"

namespace {

std::string LocaleForLcid(int lcid)
{
    if (lcid <= 0)
        return {};
    char name[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = uloc_getLocaleForLCID(static_cast<uint32_t>(lcid), name, sizeof name, &status);
    if (U_FAILURE(status) || n <= 0)
        return {};
    return std::string(name, static_cast<size_t>(n));
}

std::string UserLocale()
{
    std::string name = uloc_getDefault();
    std::string lower;
    for (char c : name)
        lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
    if (lower.empty() || lower == "c" || lower == "posix" || lower.find("posix") != std::string::npos)
        return "root";
    return name;
}

} // namespace

bool TCollator::IsKnownLcid(int lcid)
{
    return !LocaleForLcid(lcid).empty();
}

TCollator::TCollator(int lcid)
{
    FLocale = LocaleForLcid(lcid);
    if (FLocale.empty())
        FLocale = UserLocale();
    UErrorCode status = U_ZERO_ERROR;
    FCollator = ucol_open(FLocale == "root" ? "" : FLocale.c_str(), &status);
    if (U_FAILURE(status))
        throw EMarksError("The collation for locale " + FLocale + " is not available.");
    ucol_setStrength(FCollator, UCOL_TERTIARY);
}

TCollator::~TCollator()
{
    ucol_close(FCollator);
}

std::string TCollator::SortKey(std::string_view text) const
{
    std::u16string u = Cp1251ToUtf16(text);
    std::vector<uint8_t> key(u.size() * 4 + 16);
    int32_t n = ucol_getSortKey(FCollator, reinterpret_cast<const UChar*>(u.data()), static_cast<int32_t>(u.size()),
                                key.data(), static_cast<int32_t>(key.size()));
    if (n > static_cast<int32_t>(key.size())) {
        key.resize(static_cast<size_t>(n));
        n = ucol_getSortKey(FCollator, reinterpret_cast<const UChar*>(u.data()), static_cast<int32_t>(u.size()),
                            key.data(), n);
    }
    // The ICU key ends with its one zero byte; the raw bytes after it break ties
    // between strings the collation holds equal.
    std::string out(reinterpret_cast<const char*>(key.data()), static_cast<size_t>(n));
    out.append(text);
    return out;
}

int TCollator::Compare(std::string_view a, std::string_view b) const
{
    std::u16string ua = Cp1251ToUtf16(a);
    std::u16string ub = Cp1251ToUtf16(b);
    UCollationResult r = ucol_strcoll(FCollator, reinterpret_cast<const UChar*>(ua.data()), static_cast<int32_t>(ua.size()),
                                      reinterpret_cast<const UChar*>(ub.data()), static_cast<int32_t>(ub.size()));
    if (r != UCOL_EQUAL)
        return r == UCOL_LESS ? -1 : 1;
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}
