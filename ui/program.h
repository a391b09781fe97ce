#pragma once

class TfrmMain;

// Start-up: "." as decimal separator, the application title, the main window, and
// the message loop until the main window closes.
int RunProgram(int argc, char** argv);

// Creates an editor window; the first one created is the main window. The program
// owns the windows and releases them when it ends, without asking their close
// queries.
TfrmMain& CreateEditorWindow();
bool IsMainWindow(const TfrmMain& window);

// Releases every window (tests create and drop windows between cases).
void DestroyEditorWindows();
