#pragma once

#include <memory>
#include <string>

#include "dialogs.h"

class TfrmMain;

// Start-up: the command line ([switch] [FOLDER]; usage text and exit code 2 for
// anything else), "." as decimal separator, the application title, the main
// window, and the message loop until the main window closes.
int RunProgram(int argc, char** argv);

// The folder that serves as the program's own: what Load and the switches open,
// where the KMZ export takes its icons and the settings file is looked for. It is
// the project folder named on the command line, else the folder of the program's
// executable; absolute, with one trailing separator.
std::string ProgramFolder();

// Creates an editor window; the first one created is the main window. The program
// owns the windows and releases them when it ends. dialogs: the window's dialogs;
// nullptr uses the window system's own.
TfrmMain& CreateEditorWindow(std::unique_ptr<TDialogs> dialogs = nullptr);
bool IsMainWindow(const TfrmMain& window);

// The close queries of the further windows still open, in the order they were
// created, when the main window is about to end the program; false as soon as one
// refuses, and the windows after it are not asked.
bool FurtherWindowsMayClose();
// Hides the further windows and leaves the message loop with exit code 0, without
// asking their close queries again.
void EndProgram();

// Releases every window (tests create and drop windows between cases).
void DestroyEditorWindows();
