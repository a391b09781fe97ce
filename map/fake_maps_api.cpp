#include "fake_maps_api.h"

#include <QBuffer>
#include <QFile>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

void RegisterFakeMapsScheme()
{
    QWebEngineUrlScheme scheme("fakemaps");
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

TFakeMapsApi::TFakeMapsApi(QWebEngineProfile& profile, QByteArray script) : FScript(std::move(script))
{
    profile.setUrlRequestInterceptor(&FInterceptor);
    profile.installUrlSchemeHandler("fakemaps", this);
}

void TFakeMapsApi::requestStarted(QWebEngineUrlRequestJob* job)
{
    auto* buffer = new QBuffer(job);
    buffer->setData(FScript);
    job->reply("text/javascript", buffer);
}

void TFakeMapsApi::TInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    const QUrl url = info.requestUrl();
    FOwner.Requested << url.toString();
    if (url.scheme() == "fakemaps" || url.scheme() == "data" || url.scheme() == "about")
        return;
    if (url.host() == "maps.googleapis.com" && url.path() == "/maps/api/js")
        info.redirect(QUrl("fakemaps:/api.js"));
    else
        info.block(true);
}

QByteArray SourceTreeFile(const QString& path)
{
    QFile file(QStringLiteral(MARKS_SOURCE_DIR "/") + path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}
