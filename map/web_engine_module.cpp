// The entry of the web view module: the one function the program looks up in it.
#include <QLayout>
#include <QWebEngineView>

#include "web_engine_view.h"

extern "C" Q_DECL_EXPORT TWebView* MarksMakeWebEngineView(QWidget* panel)
{
    auto* view = new TWebEngineView(panel);
    panel->layout()->addWidget(view->Widget());
    return view;
}
