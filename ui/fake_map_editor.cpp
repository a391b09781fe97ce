// The editor with the online map API replaced by the tests' stand-in, which also
// draws what it holds: for screenshots and measurements on machines without the
// map service. With --demo it opens the sample, shows the map and double-clicks
// the first line mark it finds.
#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QTimer>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

#include <clocale>
#include <cstring>

#include "program.h"
#include "tfrm_main.h"

namespace {

QByteArray SourceFile(const char* path)
{
    QFile file(QString(MARKS_SOURCE_DIR) + "/" + path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

class TFakeApiHandler : public QWebEngineUrlSchemeHandler {
public:
    void requestStarted(QWebEngineUrlRequestJob* job) override
    {
        auto* buffer = new QBuffer(job);
        buffer->setData(SourceFile("map/page/fake_maps_api_test.js") + "\n" + SourceFile("ui/fake_map_drawing.js"));
        job->reply("text/javascript", buffer);
    }
};

class TInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QUrl url = info.requestUrl();
        if (url.scheme() == "fakemaps" || url.scheme() == "data" || url.scheme() == "about")
            return;
        if (url.host() == "maps.googleapis.com" && url.path() == "/maps/api/js")
            info.redirect(QUrl("fakemaps:/api.js"));
        else
            info.block(true);
    }
};

void Demo(TfrmMain& window)
{
    window.Load1Click();
    int row = -1;
    for (window.CDCats.GoFirst(); !window.CDCats.AtEnd() && row < 0; window.CDCats.GoNext()) {
        int r = 0;
        for (window.CDMarks.GoFirst(); !window.CDMarks.AtEnd(); window.CDMarks.GoNext(), ++r) {
            const TMarkData mark = window.ReadCurrentMark();
            if (!mark.points.empty() && ShapeOf(mark.points) == msLine) {
                row = r;
                break;
            }
        }
        if (row >= 0)
            break;
    }
    window.Show1Click();
    auto* wait = new QTimer(&window);
    QObject::connect(wait, &QTimer::timeout, &window, [&window, wait] {
        if (window.GMMap1.State() != TMapState::Live)
            return;
        wait->stop();
        window.GRMarksDblClick();
    });
    wait->start(50);
}

} // namespace

int main(int argc, char** argv)
{
    QWebEngineUrlScheme scheme("fakemaps");
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationDisplayName("Vexa.Terrun Marks Editor");
    TInterceptor interceptor;
    TFakeApiHandler handler;
    QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&interceptor);
    QWebEngineProfile::defaultProfile()->installUrlSchemeHandler("fakemaps", &handler);
    TfrmMain& window = CreateEditorWindow();
    window.show();
    if (argc > 1 && std::strcmp(argv[1], "--demo") == 0)
        QTimer::singleShot(0, &window, [&window] { Demo(window); });
    const int code = app.exec();
    DestroyEditorWindows();
    return code;
}
