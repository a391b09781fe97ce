#include "code_page.h"

#include <unicode/ucnv.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "marks_error.h"

namespace {

constexpr char kSubstitute = '?';

// The two directions of the code page, built once from ICU's own table.
struct TCodePageTables {
    std::array<char16_t, 256> ToUnicode{};
    std::vector<unsigned char> FromUnicode = std::vector<unsigned char>(0x10000, 0);
    std::vector<bool> Mapped = std::vector<bool>(0x10000, false);
    std::array<char, 256> Lower{};

    TCodePageTables()
    {
        UErrorCode status = U_ZERO_ERROR;
        UConverter* conv = ucnv_open("windows-1251", &status);
        if (U_FAILURE(status))
            throw EMarksError("The Windows-1251 code page is not available.");
        std::unique_ptr<UConverter, decltype(&ucnv_close)> guard(conv, ucnv_close);
        for (int b = 0; b < 256; ++b) {
            char in = static_cast<char>(b);
            UChar out[4] = {};
            status = U_ZERO_ERROR;
            int32_t n = ucnv_toUChars(conv, out, 4, &in, 1, &status);
            char16_t u = (U_SUCCESS(status) && n == 1) ? out[0] : u'\uFFFD';
            if (u == u'\uFFFD' || (u == 0x1A && b != 0x1A))
                u = static_cast<char16_t>(b);
            ToUnicode[b] = u;
        }
        for (int b = 255; b >= 0; --b) {
            FromUnicode[ToUnicode[b]] = static_cast<unsigned char>(b);
            Mapped[ToUnicode[b]] = true;
        }
        for (int b = 0; b < 256; ++b) {
            auto lower = static_cast<char32_t>(u_tolower(ToUnicode[b]));
            Lower[b] = lower < 0x10000 && Mapped[lower] ? static_cast<char>(FromUnicode[lower]) : static_cast<char>(b);
        }
    }
};

const TCodePageTables& Tables()
{
    static const TCodePageTables tables;
    return tables;
}

char FromCodePoint(char32_t cp)
{
    const TCodePageTables& t = Tables();
    if (cp < 0x10000 && t.Mapped[cp])
        return static_cast<char>(t.FromUnicode[cp]);
    return kSubstitute;
}

// Length of the well-formed UTF-8 sequence at s[i], or 0 when it is not one.
// maxLength limits the sequences accepted (3 leaves out the supplementary planes).
size_t SequenceAt(std::string_view s, size_t i, size_t maxLength, char32_t& cp)
{
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t len;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (len > maxLength || i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        unsigned char c = byte(i + k);
        if ((c & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

bool IsWellFormedUtf8(std::string_view bytes)
{
    char32_t cp;
    for (size_t i = 0; i < bytes.size();) {
        size_t n = SequenceAt(bytes, i, 4, cp);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string Utf8ToCp1251(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    char32_t cp;
    for (size_t i = 0; i < utf8.size();) {
        size_t n = SequenceAt(utf8, i, 3, cp);
        if (n == 0) {
            // An invalid byte, or a four-byte sequence: every byte of it becomes a space.
            size_t bad = 1;
            if (SequenceAt(utf8, i, 4, cp) == 4)
                bad = 4;
            out.append(bad, ' ');
            i += bad;
            continue;
        }
        out.push_back(n == 1 ? static_cast<char>(cp) : FromCodePoint(cp));
        i += n;
    }
    return out;
}

std::string Cp1251ToUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size() * 2);
    AppendCp1251AsUtf8(out, text);
    return out;
}

void AppendCp1251AsUtf8(std::string& out, std::string_view text)
{
    const TCodePageTables& t = Tables();
    for (char c : text) {
        char16_t u = t.ToUnicode[static_cast<unsigned char>(c)];
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (u >> 6)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (u >> 12)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
}

std::u16string Cp1251ToUtf16(std::string_view text)
{
    std::u16string out(text.size(), u'\0');
    Cp1251ToUtf16(text, out.data());
    return out;
}

void Cp1251ToUtf16(std::string_view text, char16_t* out)
{
    const TCodePageTables& t = Tables();
    for (size_t i = 0; i < text.size(); ++i)
        out[i] = t.ToUnicode[static_cast<unsigned char>(text[i])];
}

std::string Utf16ToCp1251(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            ++i; // a supplementary character: one substitute for the pair
        out.push_back(FromCodePoint(u >= 0xD800 && u <= 0xDFFF ? 0x110000 : u));
    }
    return out;
}

std::string Cp1251Lower(std::string_view text)
{
    const TCodePageTables& t = Tables();
    std::string out(text);
    for (char& c : out)
        c = t.Lower[static_cast<unsigned char>(c)];
    return out;
}

int CompareNoCase(std::string_view a, std::string_view b)
{
    const TCodePageTables& t = Tables();
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(t.Lower[static_cast<unsigned char>(a[i])]);
        auto y = static_cast<unsigned char>(t.Lower[static_cast<unsigned char>(b[i])]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}
