// Helper of bench/cold_start.sh: a fresh process that shows the editor window,
// opens the project in DIR as Load does, and ends as soon as the marks grid has
// painted the loaded rows. Prints the milliseconds from the start of main to that
// paint, and from the start of the load to it.
//
//   window_open_tool DIR
#include <QApplication>
#include <QEvent>
#include <QTimer>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "db_grid.h"
#include "program.h"
#include "tfrm_main.h"

namespace {

using TClock = std::chrono::steady_clock;

double MsSince(TClock::time_point start)
{
    return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
}

// Ends the process once the watched widget has painted after the load.
class TFirstPaint : public QObject {
public:
    TClock::time_point Start;
    TClock::time_point LoadStart;
    bool Loaded = false;

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (Loaded && event->type() == QEvent::Paint)
            // After this paint has run to its end.
            QTimer::singleShot(0, [this] {
                std::printf("window: opened and painted %.0f ms after start, %.0f ms after the load began\n",
                            MsSince(Start), MsSince(LoadStart));
                std::fflush(stdout);
                std::_Exit(0);
            });
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    TFirstPaint watch;
    watch.Start = TClock::now();
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_open_tool DIR\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    TfrmMain& window = CreateEditorWindow();
    window.GRMarks->viewport()->installEventFilter(&watch);
    window.show();
    QTimer::singleShot(0, [&] {
        watch.LoadStart = TClock::now();
        window.OpenProject(dir);
        watch.Loaded = true;
        window.GRMarks->viewport()->update();
    });
    return app.exec();
}
