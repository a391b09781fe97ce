#pragma once

#include <functional>
#include <vector>

#include "web_view.h"

class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;
class QWidget;

// The map panel's web view on Qt WebEngine. An exchange runs as one script call in
// the page's main world and waits for its answer in a local event loop that
// leaves user input queued; navigation reports that arrive meanwhile are handed on
// after it. The panel always keeps the map page: the page cannot navigate, and a
// web link a person clicks in it opens in the system's browser.
class TWebEngineView : public TWebView {
    Q_OBJECT

public:
    // profile: nullptr for the default profile. Its requests carry MapUserAgent.
    explicit TWebEngineView(QWidget* parent, QWebEngineProfile* profile = nullptr);

    QWebEngineView* Widget() const { return FView; }
    QWebEnginePage* Page() const;

    bool HasDocument() const override { return true; }
    void NavigateBlank() override;
    void LoadContent(const QString& html) override;
    TPageResult Exchange(const std::vector<TPageStep>& steps) override;

    // How long an exchange waits for the page before it reports an error.
    int AnswerTimeoutMs = 30000;

private:
    QWebEngineView* FView;
    TFrameId FLoadSerial = 0;
    std::vector<std::function<void()>> FDeferred;

    void Report(std::function<void()> report);
    void HandOnDeferred();
};

// The User-Agent of the map panel's requests: the program and its version, as tile
// services ask of the programs that use them.
QString MapUserAgent();

// The script text of an exchange (used by the view, and shown by tests).
QString ExchangeScript(const std::vector<TPageStep>& steps);
// The answer of that script, read back; throws EMarksError when it is not one.
TPageResult ReadExchangeAnswer(const QString& json);
