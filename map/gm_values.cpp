#include "gm_values.h"

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

QString JsReal(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-Infinity") : QStringLiteral("Infinity");
    if (value == 0)
        return QStringLiteral("0");
    // 15 significant digits: "d.dddddddddddddde+XX", rounded once, then trimmed.
    char buffer[40];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    std::string text(buffer, end);
    const bool negative = text[0] == '-';
    if (negative)
        text.erase(0, 1);
    const size_t e = text.find('e');
    const int exponent = std::atoi(text.c_str() + e + 1);
    std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string result = negative ? "-" : "";
    if (exponent < -5 || exponent >= 15) {
        result += digits[0];
        if (digits.size() > 1)
            result += "." + digits.substr(1);
        result += "E" + std::to_string(exponent);
    } else if (exponent < 0) {
        result += "0." + std::string(size_t(-exponent - 1), '0') + digits;
    } else {
        if (digits.size() <= size_t(exponent) + 1) {
            result += digits + std::string(size_t(exponent) + 1 - digits.size(), '0');
        } else {
            result += digits.substr(0, size_t(exponent) + 1) + "." + digits.substr(size_t(exponent) + 1);
        }
    }
    return QString::fromLatin1(result.data(), qsizetype(result.size()));
}

QString JsCoordinate(double value, int precision)
{
    if (precision > 0 && std::isfinite(value)) {
        const double scale = std::pow(10.0, precision);
        value = std::trunc(value * scale) / scale;
    }
    return JsReal(value);
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
    QString out;
    out.reserve(qsizetype(points.size()) * 40 + 2);
    out += QLatin1Char('\'');
    for (size_t i = 0; i < points.size(); ++i) {
        if (i > 0)
            out += QLatin1Char(';');
        out += JsCoordinate(points[i].Lat, precision);
        out += QLatin1Char('|');
        out += JsCoordinate(points[i].Lng, precision);
    }
    out += QLatin1Char('\'');
    return out;
}

std::optional<double> ReadReal(QStringView text)
{
    QByteArray bytes = text.toLatin1();
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    if (begin != end && *begin == '+')
        ++begin;
    if (begin == end || (begin != bytes.constData() && *begin == '-'))
        return std::nullopt;
    double value = 0;
    auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

std::optional<int> ReadInteger(QStringView text)
{
    QByteArray bytes = text.toLatin1();
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    if (begin != end && *begin == '+')
        ++begin;
    if (begin == end || (begin != bytes.constData() && *begin == '-'))
        return std::nullopt;
    int value = 0;
    auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}
