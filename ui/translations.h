#pragma once

class QLocale;

// Whether the window speaks Russian for a person of this locale: when the first
// language of its user interface is Russian. Every other language gets the English
// texts the code is written in.
bool SpeaksRussian(const QLocale& locale);

// Installs the window's Russian texts and Qt's own (standard buttons, file dialogs)
// when the system's language asks for them; does nothing otherwise. Call it once,
// after the application object is made and before the first window.
void InstallTranslations();
