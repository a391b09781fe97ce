#pragma once

#include <memory>

#include "dialogs.h"

class TfrmMain;

// Start-up: "." as decimal separator, the application title, the main window, and
// the message loop until the main window closes.
int RunProgram(int argc, char** argv);

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
