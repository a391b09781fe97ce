#pragma once

#include <QByteArray>

// The map page as built into the program (the resource RES_MAPCODE), UTF-8 bytes.
// Throws EMarksError when the resource cannot be read.
QByteArray MapPageResource();
