#pragma once

#include <QString>

#include <string>
#include <string_view>

#include "code_page.h"

// Table text is Windows-1251; the window works in Unicode.
inline QString TableToQString(std::string_view text)
{
    const std::u16string u = Cp1251ToUtf16(text);
    return QString::fromStdU16String(u);
}

inline std::string QStringToTable(const QString& text)
{
    return Utf16ToCp1251(text.toStdU16String());
}
