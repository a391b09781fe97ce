#include "program.h"

#include <QApplication>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <vector>

#include "marks_error.h"
#include "tfrm_main.h"
#include "translations.h"

namespace {

std::vector<std::unique_ptr<TfrmMain>>& Windows()
{
    static std::vector<std::unique_ptr<TfrmMain>> windows;
    return windows;
}

} // namespace

TfrmMain& CreateEditorWindow(std::unique_ptr<TDialogs> dialogs)
{
    Windows().push_back(std::make_unique<TfrmMain>(std::move(dialogs)));
    return *Windows().back();
}

bool IsMainWindow(const TfrmMain& window)
{
    return !Windows().empty() && Windows().front().get() == &window;
}

bool FurtherWindowsMayClose()
{
    for (size_t i = 1; i < Windows().size(); ++i)
        if (Windows()[i]->isVisible() && !Windows()[i]->FormCloseQuery())
            return false;
    return true;
}

void EndProgram()
{
    for (size_t i = 1; i < Windows().size(); ++i)
        Windows()[i]->hide();
    QCoreApplication::exit(0);
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
// a message box. The window is then released without its close query: tables the
// map application saved with unmerged changes would make it ask "Save Changes?",
// and a headless run neither waits for an answer nor saves anything.
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
    } catch (...) {
        std::cerr << "Application Error: " << ErrorMessageOf() << std::endl;
        return 1;
    }
    return 0;
}

} // namespace

int RunProgram(int argc, char** argv)
{
    const TSwitch which = SwitchOf(argc, argv);
    // A switch shows no window, so it must not depend on a display that may be
    // missing or unreachable: it always runs on the offscreen platform, and Qt sees
    // none of the arguments that follow (a "-platform" among them is ignored too).
    int qtArgc = argc;
    if (which != TSwitch::None) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qtArgc = 1;
    }
    // The map panel's web engine shares the window's graphics context.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(qtArgc, argv);
    // Qt sets the C locale from the environment; numbers are always written with ".".
    std::setlocale(LC_NUMERIC, "C");
    // The application name, not a display name: Qt appends a display name to every
    // window caption, and the captions are exactly "Edit Marks" and "Project :...".
    // The message boxes take their caption from it all the same.
    QApplication::setApplicationName("Vexa.Terrun Marks Editor");
    QApplication::setQuitOnLastWindowClosed(false);
    // A headless run shows no window: its errors and output stay in English.
    if (which == TSwitch::None)
        InstallTranslations();
    TfrmMain& main = CreateEditorWindow();
    if (which != TSwitch::None) {
        // The export's file is renamed into place (or the error reported) by now.
        // Freeing the tables would only cost time: the process ends without it.
        const int code = RunSwitch(main, which);
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        std::_Exit(code);
    }
    main.show();
    int code = app.exec();
    DestroyEditorWindows();
    return code;
}
