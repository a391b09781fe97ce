#include "map_page.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "marks_error.h"

namespace {

QByteArray Resource(const QString& name)
{
    QFile resource(":/" + name);
    if (!resource.open(QIODevice::ReadOnly))
        throw EMarksError("The map page resource " + name.toStdString() + " cannot be read.");
    return resource.readAll();
}

// A script or style sheet for the inside of an element of the page: its source map
// line goes (the page has no address to find the map at), and the text must not
// close its element early.
QString Inlined(const QString& name, const QString& element)
{
    QString text = QString::fromUtf8(Resource(name));
    static const QRegularExpression sourceMap(QStringLiteral("^\\s*(//|/\\*)# sourceMappingURL=[^\\n]*$"),
                                              QRegularExpression::MultilineOption);
    text.remove(sourceMap);
    if (text.contains("</" + element, Qt::CaseInsensitive))
        throw EMarksError("The map page resource " + name.toStdString() + " cannot be put into the page.");
    return text;
}

QString DataUrl(const QString& name)
{
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(Resource(name).toBase64());
}

// A style sheet whose pictures ("url(images/...)") are put into it as data.
QString InlinedStyle(const QString& name)
{
    QString text = Inlined(name, QStringLiteral("style"));
    static const QRegularExpression picture(QStringLiteral("url\\(images/([A-Za-z0-9-]+\\.png)\\)"));
    QString out;
    qsizetype last = 0;
    for (auto it = picture.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        out += text.mid(last, match.capturedStart() - last);
        out += "url(" + DataUrl("leaflet/images/" + match.captured(1)) + ")";
        last = match.capturedEnd();
    }
    return out + text.mid(last);
}

// JSON for the inside of a script element: "<" never appears as itself, so no
// value can close the element.
QString ScriptJson(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)).replace('<', "\\u003c");
}

void Put(QString& page, const QString& token, const QString& text, const char* resource)
{
    const qsizetype at = page.indexOf(token);
    if (at < 0)
        throw EMarksError(std::string("The map page resource ") + resource + " cannot be read.");
    page.replace(at, token.size(), text);
}

// A page with the script and the hidden forms that both pages share put in.
QString WithSharedParts(const char* resource)
{
    QString page = QString::fromUtf8(Resource(QString::fromLatin1(resource)));
    Put(page, QStringLiteral("@PAGE_SCRIPT@"), Inlined(QStringLiteral("page/page_common.js"), QStringLiteral("script")),
        resource);
    Put(page, QStringLiteral("@PAGE_FORMS@"), QString::fromUtf8(Resource(QStringLiteral("page/page_forms.html"))),
        resource);
    return page;
}

} // namespace

QByteArray MapPageResource()
{
    return WithSharedParts("RES_MAPCODE").toUtf8();
}

QString OsmPageText(const TTileSettings& tiles)
{
    QString page = WithSharedParts("RES_OSMCODE");
    Put(page, QStringLiteral("@LEAFLET_CSS@"), InlinedStyle(QStringLiteral("leaflet/leaflet.css")), "RES_OSMCODE");
    Put(page, QStringLiteral("@LEAFLET_JS@"), Inlined(QStringLiteral("leaflet/leaflet.min.js"), QStringLiteral("script")),
        "RES_OSMCODE");
    QJsonObject settings;
    settings["url"] = tiles.Url;
    settings["attribution"] = tiles.Attribution;
    settings["maxZoom"] = tiles.MaxZoom;
    settings["markerIcon"] = DataUrl(QStringLiteral("leaflet/images/marker-icon.png"));
    settings["markerIcon2x"] = DataUrl(QStringLiteral("leaflet/images/marker-icon-2x.png"));
    settings["markerShadow"] = DataUrl(QStringLiteral("leaflet/images/marker-shadow.png"));
    Put(page, QStringLiteral("@SETTINGS@"), ScriptJson(settings), "RES_OSMCODE");
    return page;
}
