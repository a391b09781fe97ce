#pragma once

class QWidget;
class TWebView;

// A web view on Qt WebEngine in the panel, filling its layout, made by the module
// beside the program, which is loaded on the first call. Throws EMarksError naming
// the module and the reason when it cannot be loaded.
TWebView* MakeWebEngineView(QWidget* panel);
