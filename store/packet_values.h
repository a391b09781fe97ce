#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The text forms of values inside a data packet's attributes.

// Appends the value with the packet's escapes (tab, line feed, carriage return,
// quote, ampersand, apostrophe, angle brackets, backslash); other bytes unchanged.
void AppendEscaped(std::string& out, std::string_view value);

// Decodes the entity references the reader knows; unknown ones stay as text.
std::string DecodeEntities(std::string_view raw);
// The same into out, which has room for raw.size() bytes (decoding never lengthens
// the text); returns the bytes written.
std::size_t DecodeEntitiesInto(char* out, std::string_view raw);

void AppendBase64(std::string& out, std::string_view bytes);
// Decodes Base64, skipping every character outside the alphabet and '='.
std::string DecodeBase64(std::string_view text);
// The most bytes DecodeBase64 makes of a text of this size.
constexpr std::size_t Base64DecodedBound(std::size_t textSize) { return textSize / 4 * 3 + 3; }
// The same into out, which has room for Base64DecodedBound(text.size()) bytes;
// returns the bytes written.
std::size_t DecodeBase64Into(char* out, std::string_view text);

// "%.16g" in the C locale.
void AppendFloat(std::string& out, double value);
void AppendInteger(std::string& out, std::int64_t value);

// Null unless a decimal digit comes before any ASCII letter; then leading blanks,
// an optional sign and the digits up to the first other character.
std::optional<std::int64_t> ReadIntegerValue(std::string_view text);
// The same null test, then the C conversion of the text.
std::optional<double> ReadFloatValue(std::string_view text);
// "T..." or "t..." is true, "F..." or "f..." false, anything else null.
std::optional<bool> ReadBooleanValue(std::string_view text);
