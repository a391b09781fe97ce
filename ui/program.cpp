#include "program.h"

#include <QApplication>

#include <clocale>
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

int RunProgram(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Qt sets the C locale from the environment; numbers are always written with ".".
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationDisplayName("Vexa.Terrun Marks Editor");
    QApplication::setQuitOnLastWindowClosed(false);
    TfrmMain& main = CreateEditorWindow();
    main.show();
    int code = app.exec();
    DestroyEditorWindows();
    return code;
}
