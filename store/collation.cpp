#include "collation.h"

#include <unicode/uloc.h>
#include <unicode/ucol.h>

#include <cstring>

#include "code_page.h"
#include "marks_error.h"

namespace {

constexpr size_t kCollatedLength = 4096;

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

TCollator::TCollator(int lcid, bool ignoreCase) : FIgnoreCase(ignoreCase)
{
    FLocale = LocaleForLcid(lcid);
    if (FLocale.empty())
        FLocale = UserLocale();
    UErrorCode status = U_ZERO_ERROR;
    FCollator = ucol_open(FLocale == "root" ? "" : FLocale.c_str(), &status);
    if (U_FAILURE(status))
        throw EMarksError("The collation for locale " + FLocale + " is not available.");
    // Letter case is the third level of the collation; the second still tells
    // accented letters from plain ones.
    ucol_setStrength(FCollator, ignoreCase ? UCOL_SECONDARY : UCOL_TERTIARY);
}

TCollator::~TCollator()
{
    ucol_close(FCollator);
}

std::string TCollator::SortKey(std::string_view text) const
{
    std::string out;
    AppendSortKey(out, text);
    return out;
}

void TCollator::AppendSortKey(std::string& out, std::string_view text) const
{
    // Beyond the first kCollatedLength bytes only the byte tie-break orders: names
    // hold at most 256 bytes, and a huge value must not cost a huge collation key.
    std::u16string u = Cp1251ToUtf16(text.substr(0, kCollatedLength));
    const auto* chars = reinterpret_cast<const UChar*>(u.data());
    const auto length = static_cast<int32_t>(u.size());
    size_t start = out.size();
    out.resize(start + u.size() * 4 + 16);
    auto* key = reinterpret_cast<uint8_t*>(out.data() + start);
    int32_t n = ucol_getSortKey(FCollator, chars, length, key, static_cast<int32_t>(out.size() - start));
    if (start + static_cast<size_t>(n) > out.size()) {
        out.resize(start + static_cast<size_t>(n));
        key = reinterpret_cast<uint8_t*>(out.data() + start);
        n = ucol_getSortKey(FCollator, chars, length, key, n);
    }
    out.resize(start + static_cast<size_t>(n));
    // The ICU key ends with its only zero byte. The raw bytes follow as the last
    // tie-break, escaped so that they hold no zero byte and end with one.
    const std::string lowered = FIgnoreCase ? Cp1251Lower(text) : std::string();
    for (char c : FIgnoreCase ? std::string_view(lowered) : text) {
        if (c == '\0' || c == '\1') {
            out.push_back('\1');
            out.push_back(static_cast<char>(c + 1));
        } else {
            out.push_back(c);
        }
    }
    out.push_back('\0');
}

int TCollator::Compare(std::string_view a, std::string_view b) const
{
    // Tables compare strings while sorting and while a posted row finds its place;
    // converted on the stack, a comparison never allocates, so it cannot fail once
    // a post has begun to change the table.
    const std::string_view ca = a.substr(0, kCollatedLength);
    const std::string_view cb = b.substr(0, kCollatedLength);
    char16_t ua[kCollatedLength], ub[kCollatedLength];
    Cp1251ToUtf16(ca, ua);
    Cp1251ToUtf16(cb, ub);
    UCollationResult r = ucol_strcoll(FCollator, reinterpret_cast<const UChar*>(ua), static_cast<int32_t>(ca.size()),
                                      reinterpret_cast<const UChar*>(ub), static_cast<int32_t>(cb.size()));
    if (r != UCOL_EQUAL)
        return r == UCOL_LESS ? -1 : 1;
    if (FIgnoreCase)
        return CompareNoCase(a, b);
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}
