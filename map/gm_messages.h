#pragma once

#include <string>

// The languages of the map components' messages, in their declared order.
enum class TLang { Espanol, English, French, PortuguesBR, Danish, German, Russian, Hungarian, Italian };

// Numbers of the sixteen fixed messages of the map components.
enum TGMMessage {
    gmNoWebBrowser = 0,
    gmPageNotLoaded = 1,
    gmMapNotCreated = 2,
    gmNotActive = 3,
    gmNoResource = 4,
    gmNoJavaScriptRelation = 5,
    gmIncorrectId = 6,
    gmIdDoesNotExist = 7,
    gmParamCount = 8,
    gmParamType = 9,
    gmParamValue = 10,
};

// The text of a message in a language (UTF-8); the Spanish base text where the
// language has none.
std::string LocalizeMessage(TLang language, int number);
