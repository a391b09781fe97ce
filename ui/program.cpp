#include "program.h"

#include <QApplication>

#include <clocale>
#include <iostream>
#include <memory>
#include <vector>

#include "tfrm_main.h"

namespace {

std::vector<std::unique_ptr<TfrmMain>>& Windows()
{
    static std::vector<std::unique_ptr<TfrmMain>> windows;
    return windows;
}

} // namespace

TfrmMain& CreateEditorWindow()
{
    Windows().push_back(std::make_unique<TfrmMain>());
    return *Windows().back();
}

bool IsMainWindow(const TfrmMain& window)
{
    return !Windows().empty() && Windows().front().get() == &window;
}

void DestroyEditorWindows()
{
    Windows().clear();
}

namespace {

// The headless exports: the first argument, compared exactly.
enum class TSwitch { None, Mp, Kmz, Wpt };

TSwitch SwitchOf(int argc, char** argv)
{
    if (argc < 2)
        return TSwitch::None;
    const std::string first = argv[1];
    if (first == "-exportMP")
        return TSwitch::Mp;
    if (first == "-exportKMZ")
        return TSwitch::Kmz;
    if (first == "-exportWPT")
        return TSwitch::Wpt;
    return TSwitch::None;
}

// Opens the executable's folder and writes the export to the current directory.
// An error goes to standard error with exit code 1: there may be no one to click
// a message box.
int RunSwitch(TfrmMain& main, TSwitch which)
{
    try {
        main.OpenProject(QCoreApplication::applicationDirPath().toStdString() + "/");
        switch (which) {
        case TSwitch::Mp: main.ExportMp(esVisible, "Vexamarks.mp"); break;
        case TSwitch::Kmz: main.ExportKmz(esVisible, "Vexamarks.kmz"); break;
        case TSwitch::Wpt: main.ExportWpt(esVisible, "Roverivoz.eza"); break;
        case TSwitch::None: break;
        }
    } catch (const std::exception& e) {
        std::cerr << "Application Error: " << e.what() << std::endl;
        return 1;
    }
    main.close();
    return 0;
}

} // namespace

int RunProgram(int argc, char** argv)
{
    const TSwitch which = SwitchOf(argc, argv);
    if (which != TSwitch::None && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The map panel's web engine shares the window's graphics context.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    // Qt sets the C locale from the environment; numbers are always written with ".".
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationDisplayName("Vexa.Terrun Marks Editor");
    QApplication::setQuitOnLastWindowClosed(false);
    TfrmMain& main = CreateEditorWindow();
    if (which != TSwitch::None) {
        int code = RunSwitch(main, which);
        DestroyEditorWindows();
        return code;
    }
    main.show();
    int code = app.exec();
    DestroyEditorWindows();
    return code;
}
