#include "map_page.h"

#include <QFile>

#include "marks_error.h"

QByteArray MapPageResource()
{
    QFile resource(":/RES_MAPCODE");
    if (!resource.open(QIODevice::ReadOnly))
        throw EMarksError("The map page resource RES_MAPCODE cannot be read.");
    return resource.readAll();
}
