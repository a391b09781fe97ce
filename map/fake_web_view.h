#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

#include "web_view.h"

// A web view without a browser, for tests and benchmarks. It records every script
// text it is asked to run, holds the forms of the loaded page (read from its HTML),
// and plays the part of the map page for the functions the map view calls: the map
// exists after DoMap, MapGetCenter reports the centre last set, PolylineGetPath
// reports the path last sent for that line or area.
class TFakeWebView : public TWebView {
    Q_OBJECT

public:
    QStringList Scripts;
    int Exchanges = 0;
    bool Document = true;
    // Runs before the page's part for each script; a text returned is raised as the
    // page's error for that script.
    std::function<std::optional<QString>(const QString& script)> OnScript;
    // Runs after the page's part for each script that did not fail.
    std::function<void(const QString& script)> AfterScript;
    // Paths the page holds, by "id,index".
    QMap<QString, QString> Paths;
    bool MapExists = false;

    bool HasDocument() const override { return Document; }
    void NavigateBlank() override;
    void LoadContent(const QString& html) override;
    TPageResult Exchange(const std::vector<TPageStep>& steps) override;

    // Completes the pending navigation or content load: navigate and document
    // complete of a new frame.
    void Complete();
    QString Field(const QString& form, const QString& field) const;
    void SetField(const QString& form, const QString& field, const QString& value);
    // The arguments of a call text, split at the commas outside quotes.
    static QStringList Arguments(const QString& call);

private:
    std::vector<TForm> FForms;
    QString FCenterLat = QStringLiteral("0");
    QString FCenterLng = QStringLiteral("0");
    TFrameId FFrame = 0;

    std::optional<QString> PlayPage(const QString& script);
    TForm* FindForm(const QString& name);
    TFormsRead Read(const QStringList& wanted) const;
};
