#pragma once

#include <QByteArray>
#include <QStringList>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlSchemeHandler>

class QWebEngineProfile;

// The map API's offline stand-in, served to a web engine profile: the request for
// the online API is sent to the scheme "fakemaps", every other request that would
// leave the machine is blocked. RegisterFakeMapsScheme must run before the
// application object is made.
void RegisterFakeMapsScheme();

class TFakeMapsApi : public QWebEngineUrlSchemeHandler {
public:
    // script: the stand-in's JavaScript.
    TFakeMapsApi(QWebEngineProfile& profile, QByteArray script);
    // Every address the profile's pages asked for, in order.
    QStringList Requested;

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    class TInterceptor : public QWebEngineUrlRequestInterceptor {
    public:
        explicit TInterceptor(TFakeMapsApi& owner) : FOwner(owner) {}
        void interceptRequest(QWebEngineUrlRequestInfo& info) override;

    private:
        TFakeMapsApi& FOwner;
    };
    QByteArray FScript;
    TInterceptor FInterceptor{*this};
};

// A file of the source tree (the stand-in's scripts live there).
QByteArray SourceTreeFile(const QString& path);
