#include "program.h"

#include <QApplication>
#include <QMessageBox>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "file_io.h"
#include "marks_error.h"
#include "project_dir.h"
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

// The project folder named on the command line, as the project directory's path.
std::string& CommandLineFolder()
{
    static std::string folder;
    return folder;
}

// The headless exports.
enum class TSwitch { None, Mp, Kmz, Wpt, Gpx, GeoJson };

struct TSwitchName {
    std::string_view Name;
    TSwitch Which;
};
constexpr TSwitchName kSwitches[] = {{"-exportMP", TSwitch::Mp},   {"-exportKMZ", TSwitch::Kmz},
                                     {"-exportWPT", TSwitch::Wpt}, {"-exportGPX", TSwitch::Gpx},
                                     {"-exportGeoJSON", TSwitch::GeoJson}};

constexpr const char* kUsage =
    "Usage: marks-editor [FOLDER]\n"
    "       marks-editor -exportKMZ|-exportWPT|-exportMP|-exportGPX|-exportGeoJSON [FOLDER]\n"
    "FOLDER is the project folder (Categorymarks.sml, marks.sml, MarksIcons); without it\n"
    "the folder of the program serves. An export writes its file to the current directory.\n";

// Options of Qt and of its browser engine, which are theirs to read: written with
// one or two dashes, those of the first list with a value (the next argument, or
// after "=").
constexpr std::string_view kQtValueOptions[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                                "style", "stylesheet", "session", "display", "geometry",
                                                "qwindowgeometry", "qwindowicon", "qwindowtitle", "name",
                                                "title", "visual"};
constexpr std::string_view kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "no-sandbox"};

struct TCommandLine {
    TSwitch Which = TSwitch::None;
    std::optional<std::string> Folder;
    bool Help = false;
    bool Wrong = false; // an unknown switch, a second switch or a second folder
};

TCommandLine ParseCommandLine(int argc, char** argv)
{
    TCommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-h" || argument == "--help") {
            line.Help = true;
            continue;
        }
        if (!argument.starts_with('-')) {
            line.Wrong |= line.Folder.has_value();
            line.Folder = std::string(argument);
            continue;
        }
        const auto exportSwitch = std::find_if(std::begin(kSwitches), std::end(kSwitches),
                                               [&](const TSwitchName& s) { return s.Name == argument; });
        if (exportSwitch != std::end(kSwitches)) {
            line.Wrong |= line.Which != TSwitch::None;
            line.Which = exportSwitch->Which;
            continue;
        }
        std::string_view option = argument.substr(argument.starts_with("--") ? 2 : 1);
        const bool withValue = option.find('=') != std::string_view::npos;
        option = option.substr(0, option.find('='));
        const auto listed = [&](const auto& options) {
            return std::find(std::begin(options), std::end(options), option) != std::end(options);
        };
        if (listed(kQtValueOptions))
            line.Wrong |= !withValue && ++i == argc;
        else if (option == "qmljsdebugger")
            line.Wrong |= !withValue;
        else
            line.Wrong |= !listed(kQtFlagOptions) || withValue;
    }
    return line;
}

// Why the folder cannot be a project folder, or nothing when it can.
std::optional<std::string> FolderProblem(const std::string& folder)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(folder, error);
    if (status.type() == std::filesystem::file_type::not_found)
        return "Cannot open the folder \"" + folder + "\". It does not exist.";
    if (error)
        return "Cannot open the folder \"" + folder + "\". " + SystemErrorText(error.value());
    if (status.type() != std::filesystem::file_type::directory)
        return "Cannot open the folder \"" + folder + "\". It is not a folder.";
    return std::nullopt;
}

// Opens the project folder and writes the export to the current directory.
// An error goes to standard error with exit code 1: there may be no one to click
// a message box. The window is then released without its close query: tables the
// map application saved with unmerged changes would make it ask "Save Changes?",
// and a headless run neither waits for an answer nor saves anything.
int RunSwitch(TfrmMain& main, TSwitch which)
{
    try {
        main.OpenProject(ProgramFolder());
        switch (which) {
        case TSwitch::Mp: main.ExportMp(esVisible, "Vexamarks.mp"); break;
        case TSwitch::Kmz: main.ExportKmz(esVisible, "Vexamarks.kmz"); break;
        case TSwitch::Wpt: main.ExportWpt(esVisible, "Roverivoz.eza"); break;
        case TSwitch::Gpx: main.ExportGpx(esVisible, "Vexamarks.gpx"); break;
        case TSwitch::GeoJson: main.ExportGeoJson(esVisible, "Vexamarks.geojson"); break;
        case TSwitch::None: break;
        }
    } catch (...) {
        std::cerr << "Application Error: " << ErrorMessageOf() << std::endl;
        return 1;
    }
    return 0;
}

// A headless run prints nothing but its error. Qt notes on standard error that it
// made up a runtime folder when XDG_RUNTIME_DIR is not set, as on servers and in
// scripts run by cron; that note says nothing about the export, so it is dropped,
// and every other message goes out as Qt writes it.
void DropRuntimeFolderNote(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    std::cerr << qFormatLogMessage(type, context, message).toStdString() << std::endl;
}

} // namespace

std::string ProgramFolder()
{
    if (!CommandLineFolder().empty())
        return CommandLineFolder();
    return QCoreApplication::applicationDirPath().toStdString() + "/";
}

int RunProgram(int argc, char** argv)
{
    const TCommandLine line = ParseCommandLine(argc, argv);
    if (line.Help || line.Wrong) {
        (line.Wrong ? std::cerr : std::cout) << kUsage;
        return line.Wrong ? 2 : 0;
    }
    if (line.Folder) {
        if (const std::optional<std::string> problem = FolderProblem(*line.Folder)) {
            std::cerr << "Application Error: " << *problem << std::endl;
            // Started from a launcher, the window's user sees no standard error.
            if (line.Which == TSwitch::None && (qEnvironmentVariableIsSet("DISPLAY") ||
                                                qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))) {
                QApplication app(argc, argv);
                QApplication::setApplicationName("Vexa.Terrun Marks Editor");
                QMessageBox::critical(nullptr, "Application Error", QString::fromStdString(*problem));
            }
            return 1;
        }
        CommandLineFolder() = ProjectDirOf(*line.Folder);
    }
    const TSwitch which = line.Which;
    // A switch shows no window, so it must not depend on a display that may be
    // missing or unreachable: it always runs on the offscreen platform, and Qt sees
    // none of the arguments that follow (a "-platform" among them is ignored too).
    int qtArgc = argc;
    if (which != TSwitch::None) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(DropRuntimeFolderNote);
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
