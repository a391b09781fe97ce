#include "packet_values.h"

#include <array>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr std::array<const char*, 256> MakeEscapes()
{
    std::array<const char*, 256> t{};
    t['\t'] = "&#009;";
    t['\n'] = "&#010;";
    t['\r'] = "&#013;";
    t['"'] = "&quot;";
    t['&'] = "&amp;";
    t['\''] = "&apos;";
    t['<'] = "&lt;";
    t['>'] = "&gt;";
    t['\\'] = "&#092;";
    return t;
}
constexpr std::array<const char*, 256> kEscapes = MakeEscapes();

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<signed char, 256> MakeBase64Values()
{
    std::array<signed char, 256> t{};
    for (auto& v : t)
        v = -1;
    for (int i = 0; i < 64; ++i)
        t[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<signed char>(i);
    return t;
}
constexpr std::array<signed char, 256> kBase64Values = MakeBase64Values();

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool HasDigitBeforeLetter(std::string_view text)
{
    for (char c : text) {
        if (IsDigit(c))
            return true;
        if (IsLetter(c))
            return false;
    }
    return false;
}

// Decodes "&#ddd;" or "&#xhh;" at text[i] (which is '&'); returns the length
// consumed, or 0 when it is not a numeric reference.
size_t NumericReference(std::string_view text, size_t i, char& byte)
{
    size_t k = i + 2;
    bool hex = k < text.size() && (text[k] == 'x' || text[k] == 'X');
    if (hex)
        ++k;
    size_t start = k;
    unsigned value = 0;
    while (k < text.size() && (hex ? IsHexDigit(text[k]) : IsDigit(text[k]))) {
        char c = text[k];
        unsigned d = IsDigit(c) ? unsigned(c - '0') : unsigned((c | 0x20) - 'a' + 10);
        value = (value * (hex ? 16 : 10) + d) & 0xFFFFFF;
        ++k;
    }
    if (k == start || k >= text.size() || text[k] != ';')
        return 0;
    byte = static_cast<char>(value & 0xFF);
    return k + 1 - i;
}

// Length of a named reference at text[i]: '&', its letters, and a ';' if one follows.
size_t NamedReferenceLength(std::string_view text, size_t i)
{
    size_t k = i + 1;
    while (k < text.size() && IsLetter(text[k]))
        ++k;
    if (k < text.size() && text[k] == ';')
        ++k;
    return k - i;
}

locale_t CLocale()
{
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

} // namespace

void AppendEscaped(std::string& out, std::string_view value)
{
    size_t run = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        const char* e = kEscapes[static_cast<unsigned char>(value[i])];
        if (!e)
            continue;
        out.append(value.data() + run, i - run);
        out.append(e);
        run = i + 1;
    }
    out.append(value.data() + run, value.size() - run);
}

size_t DecodeEntitiesInto(char* out, std::string_view raw)
{
    size_t amp = raw.find('&');
    if (amp == std::string_view::npos)
        amp = raw.size();
    // An empty text read first has no room at all: out may then be null.
    if (amp > 0)
        std::memcpy(out, raw.data(), amp);
    char* p = out + amp;
    for (size_t i = amp; i < raw.size();) {
        char c = raw[i];
        if (c != '&' || i + 1 >= raw.size()) {
            *p++ = c;
            ++i;
            continue;
        }
        char next = raw[i + 1];
        if (next == '#') {
            char byte;
            if (size_t n = NumericReference(raw, i, byte)) {
                *p++ = byte;
                i += n;
            } else {
                *p++ = '&';
                ++i;
            }
            continue;
        }
        char decoded;
        switch (next) {
        case 'g': decoded = '>'; break;
        case 'l': decoded = '<'; break;
        case 'q': decoded = '"'; break;
        case 'a': decoded = (i + 2 < raw.size() && raw[i + 2] == 'p') ? '\'' : '&'; break;
        default:
            *p++ = '&';
            ++i;
            continue;
        }
        *p++ = decoded;
        i += NamedReferenceLength(raw, i);
    }
    return static_cast<size_t>(p - out);
}

std::string DecodeEntities(std::string_view raw)
{
    std::string out(raw.size(), '\0');
    out.resize(DecodeEntitiesInto(out.data(), raw));
    return out;
}

void AppendBase64(std::string& out, std::string_view bytes)
{
    size_t start = out.size();
    out.resize(start + (bytes.size() + 2) / 3 * 4);
    char* p = out.data() + start;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        uint32_t v = (uint32_t(b[i]) << 16) | (uint32_t(b[i + 1]) << 8) | b[i + 2];
        *p++ = kBase64Alphabet[v >> 18];
        *p++ = kBase64Alphabet[(v >> 12) & 63];
        *p++ = kBase64Alphabet[(v >> 6) & 63];
        *p++ = kBase64Alphabet[v & 63];
    }
    size_t rest = bytes.size() - i;
    if (rest) {
        uint32_t v = uint32_t(b[i]) << 16;
        if (rest == 2)
            v |= uint32_t(b[i + 1]) << 8;
        *p++ = kBase64Alphabet[v >> 18];
        *p++ = kBase64Alphabet[(v >> 12) & 63];
        *p++ = rest == 2 ? kBase64Alphabet[(v >> 6) & 63] : '=';
        *p++ = '=';
    }
}

namespace {

#if defined(__x86_64__)
// Whole blocks of 32 alphabet characters, 24 bytes each, in vector registers (the
// lookup method of Muła and Lemire). The low and the high nibble of each
// character index two tables whose entries share a bit only for characters
// outside the alphabet; a third table, indexed by the high nibble with '/' singled
// out, holds what turns a character into its 6-bit value. Stops before the first
// block holding anything else, and returns the characters decoded.
__attribute__((target("avx2"))) size_t DecodeBase64Blocks(char*& out, const unsigned char* in, size_t n)
{
    const __m256i lowBits = _mm256_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A,
                                             0x1B, 0x1B, 0x1B, 0x1A, 0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                             0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
    const __m256i highBits = _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10,
                                              0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08,
                                              0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
    const __m256i shifts = _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 19, 4, -65,
                                            -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i slash = _mm256_set1_epi8(0x2F);
    // Three bytes from each four values, then the two lanes' twelve bytes side by side.
    const __m256i bytesOfLanes = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2, 1, 0, 6,
                                                  5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    const __m256i lanesTogether = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 0, 0);
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        const __m256i high = _mm256_and_si256(_mm256_srli_epi32(text, 4), slash);
        const __m256i low = _mm256_and_si256(text, slash);
        if (!_mm256_testz_si256(_mm256_shuffle_epi8(lowBits, low), _mm256_shuffle_epi8(highBits, high)))
            break;
        const __m256i shift = _mm256_shuffle_epi8(shifts, _mm256_add_epi8(_mm256_cmpeq_epi8(text, slash), high));
        const __m256i values = _mm256_add_epi8(text, shift);
        const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
        const __m256i quads = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
        const __m256i packed =
            _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(quads, bytesOfLanes), lanesTogether);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(packed, 1));
        out += 24;
    }
    return i;
}

bool HasVectorBase64()
{
    static const bool avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    return avx2;
}
#endif

} // namespace

size_t DecodeBase64Into(char* out, std::string_view text)
{
    char* p = out;
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
#if defined(__x86_64__)
    if (HasVectorBase64())
        i = DecodeBase64Blocks(p, in, n);
#endif
    // Whole groups of four alphabet characters, the form every writer produces.
    while (i + 4 <= n) {
        int a = kBase64Values[in[i]], b = kBase64Values[in[i + 1]], c = kBase64Values[in[i + 2]],
            d = kBase64Values[in[i + 3]];
        if ((a | b | c | d) < 0)
            break;
        uint32_t v = (uint32_t(a) << 18) | (uint32_t(b) << 12) | (uint32_t(c) << 6) | uint32_t(d);
        *p++ = static_cast<char>(v >> 16);
        *p++ = static_cast<char>((v >> 8) & 0xFF);
        *p++ = static_cast<char>(v & 0xFF);
        i += 4;
    }
    // The rest one character at a time, skipping what is not in the alphabet.
    uint32_t acc = 0;
    int bits = 0;
    for (; i < n; ++i) {
        int v = kBase64Values[in[i]];
        if (v < 0)
            continue;
        acc = (acc << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            *p++ = static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    return static_cast<size_t>(p - out);
}

std::string DecodeBase64(std::string_view text)
{
    std::string out(Base64DecodedBound(text.size()), '\0');
    out.resize(DecodeBase64Into(out.data(), text));
    return out;
}

void AppendFloat(std::string& out, double value)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 16);
    out.append(buf, r.ptr);
}

void AppendInteger(std::string& out, std::int64_t value)
{
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, r.ptr);
}

std::optional<std::int64_t> ReadIntegerValue(std::string_view text)
{
    if (!HasDigitBeforeLetter(text))
        return std::nullopt;
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= 32 && text[i] != 0)
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    uint64_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i)
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    return static_cast<std::int64_t>(negative ? 0 - value : value);
}

std::optional<double> ReadFloatValue(std::string_view text)
{
    if (!HasDigitBeforeLetter(text))
        return std::nullopt;
    // The plain decimal forms every writer produces; anything else (leading blanks or
    // "+", hexadecimal) goes through strtod, which needs a terminated string.
    double value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    const char* end = text.data() + text.size();
    if (ec == std::errc() && ptr != text.data() && (ptr == end || (*ptr != 'x' && *ptr != 'X')))
        return value;
    std::string copy(text);
    return strtod_l(copy.c_str(), nullptr, CLocale());
}

std::optional<bool> ReadBooleanValue(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    if (text[0] == 'T' || text[0] == 't')
        return true;
    if (text[0] == 'F' || text[0] == 'f')
        return false;
    return std::nullopt;
}
