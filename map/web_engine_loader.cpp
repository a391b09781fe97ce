#include "web_engine_loader.h"

#include <QCoreApplication>
#include <QLibrary>

#include "marks_error.h"

TWebView* MakeWebEngineView(QWidget* panel)
{
    using TMake = TWebView* (*)(QWidget*);
    static TMake make = nullptr;
    if (!make) {
        // The module stays loaded for the rest of the run.
        QLibrary module(QCoreApplication::applicationDirPath() + "/marks_web_engine");
        make = reinterpret_cast<TMake>(module.resolve("MarksMakeWebEngineView"));
        if (!make)
            throw EMarksError("Cannot load the map view: " + module.errorString().toStdString());
    }
    return make(panel);
}
