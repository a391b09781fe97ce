#pragma once

#include <QString>

#include <filesystem>

// The map page a window shows: the Google map service's, or Leaflet's with the
// tiles of an OpenStreetMap tile service.
enum class TMapProvider { Google, Osm };

// Where the OpenStreetMap page takes its tiles from: an address with {z}, {x} and
// {y} (and optionally {s}), the attribution shown under the map (empty: the one
// OpenStreetMap's own tiles ask for), and the deepest zoom the service has.
struct TTileSettings {
    QString Url = QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png");
    QString Attribution;
    int MaxZoom = 19;
};

struct TMapSettings {
    QString ApiKey;
    TMapProvider Provider = TMapProvider::Osm;
    TTileSettings Tiles;
};

// The editor's settings file: marks-editor.ini in the program's folder (the project
// folder named on the command line stands for it) when it is there, else in
// marks-editor/ of the user's configuration folder ($XDG_CONFIG_HOME, by default
// ~/.config), where an installed program's settings go.
std::filesystem::path SettingsFilePath(const std::filesystem::path& programFolder);

// The [Map] section of the settings file, each key overridden by its environment
// variable when that is set and not blank:
//   ApiKey=           MARKS_MAP_API_KEY
//   Provider=         MARKS_MAP_PROVIDER           google or osm; by default google
//                                                   when there is an API key
//   TileUrl=          MARKS_MAP_TILE_URL
//   TileAttribution=  MARKS_MAP_TILE_ATTRIBUTION
//   MaxZoom=          MARKS_MAP_MAX_ZOOM           1 to 22, else 19
// Values are UTF-8, with the blanks around them removed.
TMapSettings ReadMapSettings(const std::filesystem::path& programFolder);
