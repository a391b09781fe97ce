#include "map_settings.h"

#include <QByteArray>
#include <QStandardPaths>

#include <system_error>

#include "gm_values.h"
#include "ini_file.h"

namespace {

class TMapSection {
public:
    explicit TMapSection(const std::filesystem::path& programFolder) : FFile(SettingsFilePath(programFolder)) {}

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

std::filesystem::path SettingsFilePath(const std::filesystem::path& programFolder)
{
    const std::filesystem::path beside = programFolder / "marks-editor.ini";
    std::error_code error;
    if (std::filesystem::exists(beside, error))
        return beside;
    // Qt's configuration folder is $XDG_CONFIG_HOME when that is an absolute path,
    // else ~/.config.
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        return beside;
    return std::filesystem::path(config.toStdString()) / "marks-editor" / "marks-editor.ini";
}

TMapSettings ReadMapSettings(const std::filesystem::path& programFolder)
{
    const TMapSection section(programFolder);
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
