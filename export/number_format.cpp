#include "number_format.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

static_assert(LDBL_MANT_DIG == 64, "the exports expect the x87 80-bit extended format");

namespace {

// 128-bit integers hold a 64-bit significand shifted or scaled by a million exactly.
__extension__ typedef unsigned __int128 u128;

void AppendWithPrintf(std::string& out, long double value)
{
    char buf[128];
    int n = std::snprintf(buf, sizeof buf, "%.6Lf", value);
    if (n > 0 && n < static_cast<int>(sizeof buf))
        out.append(buf, static_cast<size_t>(n));
    else {
        std::string big(static_cast<size_t>(n) + 1, '\0');
        std::snprintf(big.data(), big.size(), "%.6Lf", value);
        out.append(big.data(), static_cast<size_t>(n));
    }
}

} // namespace

void AppendFixed6(std::string& out, long double value)
{
    if (!std::isfinite(value)) {
        AppendWithPrintf(out, value);
        return;
    }
    unsigned char bytes[sizeof(long double)] = {};
    std::memcpy(bytes, &value, sizeof value);
    std::uint64_t m;
    std::memcpy(&m, bytes, 8);
    const unsigned se = unsigned(bytes[8]) | (unsigned(bytes[9]) << 8);
    const bool negative = (se & 0x8000) != 0;
    const int biased = static_cast<int>(se & 0x7FFF);
    const int e = (biased == 0 ? 1 : biased) - 16383 - 63; // value = m * 2^e

    u128 integer = 0;
    std::uint64_t micro = 0;
    if (e >= 0) {
        if (e > 63) {
            AppendWithPrintf(out, value);
            return;
        }
        integer = static_cast<u128>(m) << e;
    } else if (-e < 100) {
        const int shift = -e;
        const u128 mask = (static_cast<u128>(1) << shift) - 1;
        integer = shift < 64 ? static_cast<u128>(m >> shift) : 0;
        const u128 scaled = (static_cast<u128>(m) & mask) * 1000000u;
        u128 q = scaled >> shift;
        const u128 rest = scaled & mask;
        const u128 half = static_cast<u128>(1) << (shift - 1);
        if (rest > half || (rest == half && (q & 1)))
            ++q;
        if (q == 1000000) {
            q = 0;
            ++integer;
        }
        micro = static_cast<std::uint64_t>(q);
    }
    // Below 2^-36 the value rounds to zero. The text is built backwards in one
    // buffer and appended once; the integer part is divided in 64 bits whenever it
    // fits, which is always for coordinates.
    char buf[64];
    char* const end = buf + sizeof buf;
    char* p = end - 7;
    p[0] = '.';
    for (int i = 6; i >= 1; --i, micro /= 10)
        p[i] = static_cast<char>('0' + micro % 10);
    if (integer <= UINT64_MAX) {
        auto v = static_cast<std::uint64_t>(integer);
        do {
            *--p = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
    } else {
        do {
            *--p = static_cast<char>('0' + static_cast<int>(integer % 10));
            integer /= 10;
        } while (integer != 0);
    }
    if (negative)
        *--p = '-';
    out.append(p, static_cast<size_t>(end - p));
}
