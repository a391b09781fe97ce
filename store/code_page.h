#pragma once

#include <string>
#include <string_view>

// Windows-1251, the code page of the marks database. Table text is kept as its
// single-byte form everywhere and converted only at the edges.
//
// Every byte maps to one Unicode character and back: the one byte the code page
// leaves undefined (0x98) maps to U+0098, so text passed through the UI and back
// keeps every byte it had.

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsWellFormedUtf8(std::string_view bytes);

// Converts UTF-8 to Windows-1251 the way the packet reader needs it: sequences of
// one to three bytes are decoded; each byte of an invalid or longer sequence becomes
// a space; characters the code page lacks become '?', its substitute character.
std::string Utf8ToCp1251(std::string_view utf8);

// Windows-1251 bytes to UTF-8 (for the UI, KML and error messages).
std::string Cp1251ToUtf8(std::string_view text);
void AppendCp1251AsUtf8(std::string& out, std::string_view text);

// Windows-1251 bytes to UTF-16 code units, one per byte.
std::u16string Cp1251ToUtf16(std::string_view text);
// The same into out, which has room for text.size() units.
void Cp1251ToUtf16(std::string_view text, char16_t* out);

// UTF-16 to Windows-1251; characters the code page lacks become '?'.
std::string Utf16ToCp1251(std::u16string_view text);

// The text with every letter in lower case (Latin and Cyrillic), for comparisons
// that ignore letter case.
std::string Cp1251Lower(std::string_view text);

// Byte-wise comparison of the lower-case forms: -1, 0 or 1.
int CompareNoCase(std::string_view a, std::string_view b);
