#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QWebEngineUrlRequestInterceptor>

class QWebEngineProfile;

// A tile service on 127.0.0.1 for tests, benchmarks and screenshots: every
// /{z}/{x}/{y}.png is a generated picture, a labelled grid cell, so the map works
// with no network. Runs in the thread's event loop.
class TTileServer : public QTcpServer {
public:
    struct TRequest {
        QString Path;
        QString UserAgent;
    };

    TTileServer();
    // The tile address for the page's TileUrl setting.
    QString TileUrl() const;
    // Every request served, in order.
    std::vector<TRequest> Requests;

protected:
    void incomingConnection(qintptr socket) override;

private:
    QMap<QString, QByteArray> FTiles;
    QByteArray Tile(const QString& path);
};

// Records every address a profile's pages ask for and blocks all that would leave
// the machine: only data, about and 127.0.0.1 pass.
class TRequestLog : public QWebEngineUrlRequestInterceptor {
public:
    explicit TRequestLog(QWebEngineProfile& profile);
    QStringList Requested;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
};
