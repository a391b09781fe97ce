#include "gm_values.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

QString JsBool(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString JsInt(long long value)
{
    return QString::number(value);
}

namespace {

// Appends the number in the form JsReal describes.
void AppendReal(std::string& out, double value)
{
    if (std::isnan(value)) {
        out += "NaN";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-Infinity" : "Infinity";
        return;
    }
    if (value == 0) {
        out += '0';
        return;
    }
    // 15 significant digits: "d.dddddddddddddde+XX", rounded once, then trimmed.
    char buffer[40];
    const char* end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14).ptr;
    const char* p = buffer;
    if (*p == '-') {
        out += '-';
        ++p;
    }
    const char* e = std::find(p, end, 'e');
    int exponent = 0;
    std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), end, exponent);
    char digits[16];
    size_t n = 0;
    digits[n++] = p[0];
    for (const char* d = p + 2; d < e; ++d)
        digits[n++] = *d;
    while (n > 1 && digits[n - 1] == '0')
        --n;

    if (exponent < -5 || exponent >= 15) {
        out += digits[0];
        if (n > 1) {
            out += '.';
            out.append(digits + 1, n - 1);
        }
        out += 'E';
        char exp[8];
        out.append(exp, std::to_chars(exp, exp + sizeof exp, exponent).ptr);
    } else if (exponent < 0) {
        out += "0.";
        out.append(size_t(-exponent - 1), '0');
        out.append(digits, n);
    } else if (n <= size_t(exponent) + 1) {
        out.append(digits, n);
        out.append(size_t(exponent) + 1 - n, '0');
    } else {
        out.append(digits, size_t(exponent) + 1);
        out += '.';
        out.append(digits + exponent + 1, n - size_t(exponent) - 1);
    }
}

double Truncated(double value, int precision)
{
    if (precision > 0 && std::isfinite(value)) {
        const double scale = std::pow(10.0, precision);
        return std::trunc(value * scale) / scale;
    }
    return value;
}

} // namespace

QString JsReal(double value)
{
    std::string text;
    AppendReal(text, value);
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

QString JsCoordinate(double value, int precision)
{
    return JsReal(Truncated(value, precision));
}

QString JsQuoted(const QString& value)
{
    QString out;
    out.reserve(value.size() + 2);
    out += QLatin1Char('\'');
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        switch (c.unicode()) {
        case '\'':
            out += QLatin1String("\\'");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case 0x2028:
            out += QLatin1String("\\u2028");
            break;
        case 0x2029:
            out += QLatin1String("\\u2029");
            break;
        case '<':
            // "</script>" (in any letter case) must never appear in a script text.
            out += i + 1 < value.size() && value[i + 1] == QLatin1Char('/') ? QLatin1String("<\\") : QLatin1String("<");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('\'');
    return out;
}

namespace {

// The length of a character in a JSON string literal.
int JsonLength(char16_t u)
{
    if (u == '"' || u == '\\')
        return 2;
    if (u < 0x20 || u == 0x2028 || u == 0x2029)
        return 6;
    return 1;
}

} // namespace

void AppendJsonString(QString& out, QStringView text)
{
    static const char hex[] = "0123456789abcdef";
    qsizetype length = 2;
    for (const QChar c : text)
        length += JsonLength(c.unicode());
    const qsizetype start = out.size();
    out.resize(start + length);
    char16_t* p = reinterpret_cast<char16_t*>(out.data()) + start;
    *p++ = '"';
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        switch (JsonLength(u)) {
        case 1:
            *p++ = u;
            break;
        case 2:
            *p++ = '\\';
            *p++ = u;
            break;
        default:
            *p++ = '\\';
            *p++ = 'u';
            *p++ = char16_t(hex[(u >> 12) & 15]);
            *p++ = char16_t(hex[(u >> 8) & 15]);
            *p++ = char16_t(hex[(u >> 4) & 15]);
            *p++ = char16_t(hex[u & 15]);
        }
    }
    *p = '"';
}

QString JsText(const QString& value)
{
    QString text = value;
    text.replace(QLatin1Char('\''), QLatin1String(".#%#:"));
    return JsQuoted(text);
}

QString JsContent(const QString& value)
{
    QString text = value;
    text.remove(QLatin1String("\r\n"));
    return JsText(text);
}

QString JsColour(TColor colour)
{
    const auto rgb = std::uint32_t(colour);
    return QStringLiteral("'#%1%2%3'")
        .arg(rgb & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((rgb >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((rgb >> 16) & 0xFF, 2, 16, QLatin1Char('0'))
        .toUpper();
}

QString JsPointList(const std::vector<TGeoPoint>& points, int precision)
{
    std::string out;
    out.reserve(points.size() * 40 + 2);
    out += '\'';
    for (size_t i = 0; i < points.size(); ++i) {
        if (i > 0)
            out += ';';
        AppendReal(out, Truncated(points[i].Lat, precision));
        out += '|';
        AppendReal(out, Truncated(points[i].Lng, precision));
    }
    out += '\'';
    return QString::fromLatin1(out.data(), qsizetype(out.size()));
}

namespace {

// A number as the page writes it: an optional "+", no "-" after it, nothing else.
template <typename T>
std::optional<T> ReadNumber(QStringView text)
{
    QByteArray bytes = text.toLatin1();
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    if (begin != end && *begin == '+')
        ++begin;
    if (begin == end || (begin != bytes.constData() && *begin == '-'))
        return std::nullopt;
    T value = 0;
    auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<double> ReadReal(QStringView text)
{
    // The number reader also takes "nan", "inf", "infinity" and "nan(...)": none of
    // them is a number of this protocol, and a NaN would travel on into the next
    // call of the page.
    const std::optional<double> value = ReadNumber<double>(text);
    if (value && !std::isfinite(*value))
        return std::nullopt;
    return value;
}

std::optional<int> ReadInteger(QStringView text)
{
    return ReadNumber<int>(text);
}
