#pragma once

#include <QByteArray>
#include <QString>

#include "map_settings.h"

// The map page as built into the program (the resource RES_MAPCODE), UTF-8 bytes.
// Throws EMarksError when the resource cannot be read.
QByteArray MapPageResource();

// The OpenStreetMap page: Leaflet's page (the resource RES_OSMCODE) with Leaflet,
// its cluster plugin, their style sheets and pictures (resources too) put into it,
// and the tile settings, so the page loads nothing but tiles. Throws EMarksError
// when a resource cannot be read.
QString OsmPageText(const TTileSettings& tiles);
