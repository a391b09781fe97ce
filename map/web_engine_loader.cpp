#include "web_engine_loader.h"

#include <QCoreApplication>
#include <QLibrary>

#include <unistd.h>

#include "marks_error.h"

std::optional<std::string> WebEngineStartProblem()
{
    if (geteuid() != 0 || qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        return std::nullopt;
    const QStringList flags = QString::fromLocal8Bit(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS")).split(' ');
    if (flags.contains("--no-sandbox") || QCoreApplication::arguments().contains("--no-sandbox"))
        return std::nullopt;
    return "The map cannot be shown: its browser engine does not run as root with its sandbox. "
           "Start the editor as another user, or set QTWEBENGINE_DISABLE_SANDBOX=1 in its environment "
           "to run the map without the sandbox.";
}

TWebView* MakeWebEngineView(QWidget* panel)
{
    if (const std::optional<std::string> problem = WebEngineStartProblem())
        throw EMarksError(*problem);
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
