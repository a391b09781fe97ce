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
        // The module lies beside the program in a build, and in the program's own
        // folder of the library directory when installed. It stays loaded for the
        // rest of the run.
        const QString programDir = QCoreApplication::applicationDirPath();
        QLibrary module(programDir + "/marks_web_engine");
        make = reinterpret_cast<TMake>(module.resolve("MarksMakeWebEngineView"));
        if (!make) {
            QLibrary installed(programDir + "/" MARKS_INSTALLED_MODULE_DIR "/marks_web_engine");
            make = reinterpret_cast<TMake>(installed.resolve("MarksMakeWebEngineView"));
            if (!make)
                throw EMarksError("Cannot load the map view: " + module.errorString().toStdString() + "; " +
                                  installed.errorString().toStdString());
        }
    }
    return make(panel);
}
