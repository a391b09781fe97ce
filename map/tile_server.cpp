#include "tile_server.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QWebEngineProfile>

TTileServer::TTileServer()
{
    listen(QHostAddress::LocalHost);
}

QString TTileServer::TileUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(serverPort());
}

QByteArray TTileServer::Tile(const QString& path)
{
    auto found = FTiles.find(path);
    if (found != FTiles.end())
        return *found;
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(QColor(0xF2, 0xEF, 0xE9));
    QPainter painter(&image);
    painter.setPen(QColor(0xB0, 0xB0, 0xB0));
    painter.drawRect(0, 0, 255, 255);
    painter.setPen(QColor(0x60, 0x60, 0x60));
    painter.drawText(QRect(0, 0, 256, 256), Qt::AlignCenter, path.mid(1).chopped(4));
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    FTiles.insert(path, png);
    return png;
}

void TTileServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QTcpSocket(this);
    socket->setSocketDescriptor(descriptor);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        QByteArray received = socket->property("received").toByteArray() + socket->readAll();
        socket->setProperty("received", received);
        const qsizetype end = received.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = received.left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        TRequest request{QString::fromLatin1(first.value(1)), {}};
        for (const QByteArray& line : lines)
            if (line.toLower().startsWith("user-agent:"))
                request.UserAgent = QString::fromLatin1(line.mid(11).trimmed());
        Requests.push_back(request);
        static const QRegularExpression tile(QStringLiteral("^/\\d+/-?\\d+/-?\\d+\\.png$"));
        QByteArray head;
        QByteArray body;
        if (first.value(0) == "GET" && tile.match(request.Path).hasMatch()) {
            body = Tile(request.Path);
            head = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nCache-Control: max-age=3600\r\n";
        } else {
            head = "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\n";
        }
        socket->write(head + "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
                      body);
        socket->disconnectFromHost();
    });
}

TRequestLog::TRequestLog(QWebEngineProfile& profile)
{
    profile.setUrlRequestInterceptor(this);
}

void TRequestLog::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    const QUrl url = info.requestUrl();
    Requested << url.toString(QUrl::RemoveQuery).left(200);
    if (url.scheme() != QLatin1String("data") && url.scheme() != QLatin1String("about") &&
        url.host() != QLatin1String("127.0.0.1"))
        info.block(true);
}
