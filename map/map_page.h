#pragma once

#include <QByteArray>
#include <QString>

#include "map_settings.h"

// The map page as built into the program (the resource RES_MAPCODE, with the script
// and hidden forms it shares with the OpenStreetMap page put in), UTF-8 bytes.
// Throws EMarksError when a resource cannot be read.
QByteArray MapPageResource();

// The OpenStreetMap page: Leaflet's page (the resource RES_OSMCODE) with the shared
// script and forms, Leaflet, its style sheet and pictures (resources too) put into
// it, and the tile settings, so the page loads nothing but tiles. Throws EMarksError
// when a resource cannot be read.
QString OsmPageText(const TTileSettings& tiles);
