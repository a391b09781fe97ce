#pragma once

#include <QCoreApplication>
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

// The first character of text that Windows-1251 has no byte for (both halves of a
// character beyond the basic plane), or an empty string when it holds them all.
inline QString FirstUnstorableCharacter(const QString& text)
{
    const std::u16string units = text.toStdU16String();
    const std::u16string back = Cp1251ToUtf16(Utf16ToCp1251(units));
    if (back == units)
        return {};
    size_t i = 0;
    while (i < back.size() && i < units.size() && back[i] == units[i])
        ++i;
    const bool pair = i + 1 < units.size() && QChar::isHighSurrogate(units[i]) && QChar::isLowSurrogate(units[i + 1]);
    return text.mid(static_cast<qsizetype>(i), pair ? 2 : 1);
}

// Why a character typed cannot go into a table, naming it.
inline std::string UnstorableCharacterMessage(const QString& character)
{
    const QString code = QString::number(character.toUcs4().value(0), 16).toUpper().rightJustified(4, '0');
    return QCoreApplication::translate("TTableText", "The character \"%1\" (U+%2) cannot be stored: the marks files "
                                                     "keep their text in Windows-1251")
        .arg(character, code)
        .toStdString();
}
