#include "map_settings.h"

#include <QByteArray>
#include <QStandardPaths>

#include <system_error>

#include "gm_values.h"
#include "ini_file.h"

namespace {

class TMapSection {
public:
    explicit TMapSection(const std::filesystem::path& programDir)
    {
        std::filesystem::path path = programDir / "marks-editor.ini";
        std::error_code error;
        if (!std::filesystem::exists(path, error)) {
            const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
            if (!config.isEmpty())
                path = std::filesystem::path(config.toStdString()) / "marks-editor" / "marks-editor.ini";
        }
        FFile = TIniFile(path);
    }

    QString Value(const char* key, const char* variable) const
    {
        const QString fromEnvironment = QString::fromUtf8(qgetenv(variable)).trimmed();
        if (!fromEnvironment.isEmpty())
            return fromEnvironment;
        return QString::fromStdString(FFile.ReadString("Map", key)).trimmed();
    }

private:
    TIniFile FFile;
};

} // namespace

TMapSettings ReadMapSettings(const std::filesystem::path& programDir)
{
    const TMapSection section(programDir);
    TMapSettings settings;
    settings.ApiKey = section.Value("ApiKey", "MARKS_MAP_API_KEY");
    const QString provider = section.Value("Provider", "MARKS_MAP_PROVIDER").toLower();
    if (provider == QLatin1String("google"))
        settings.Provider = TMapProvider::Google;
    else if (provider == QLatin1String("osm"))
        settings.Provider = TMapProvider::Osm;
    else
        settings.Provider = settings.ApiKey.isEmpty() ? TMapProvider::Osm : TMapProvider::Google;
    if (const QString url = section.Value("TileUrl", "MARKS_MAP_TILE_URL"); !url.isEmpty())
        settings.Tiles.Url = url;
    settings.Tiles.Attribution = section.Value("TileAttribution", "MARKS_MAP_TILE_ATTRIBUTION");
    const std::optional<int> zoom = ReadInteger(section.Value("MaxZoom", "MARKS_MAP_MAX_ZOOM"));
    if (zoom && *zoom >= 1 && *zoom <= 22)
        settings.Tiles.MaxZoom = *zoom;
    return settings;
}
