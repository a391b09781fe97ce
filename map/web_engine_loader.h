#pragma once

#include <optional>
#include <string>

class QWidget;
class TWebView;

// Why the browser engine cannot run in this process, or nothing when it can. Run
// by root, the engine needs its sandbox turned off (QTWEBENGINE_DISABLE_SANDBOX, or
// --no-sandbox among the program's or QTWEBENGINE_CHROMIUM_FLAGS' arguments);
// otherwise it ends the whole process as it starts.
std::optional<std::string> WebEngineStartProblem();

// A web view on Qt WebEngine in the panel, filling its layout, made by the module
// beside the program, which is loaded on the first call. Throws EMarksError naming
// the module and the reason when it cannot be loaded, and with the text of
// WebEngineStartProblem, before anything of the engine is loaded, when the engine
// cannot run.
TWebView* MakeWebEngineView(QWidget* panel);
