#include "map_settings.h"

#include <QByteArray>

#include "ini_file.h"

QString MapApiKey(const std::filesystem::path& programDir)
{
    const QString fromEnvironment = QString::fromUtf8(qgetenv("MARKS_MAP_API_KEY")).trimmed();
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const TIniFile settings(programDir / "marks-editor.ini");
    return QString::fromStdString(settings.ReadString("Map", "ApiKey")).trimmed();
}
