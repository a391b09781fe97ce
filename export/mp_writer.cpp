#include "mp_writer.h"

#include "code_page.h"
#include "ini_file.h"
#include "number_format.h"
#include "record_text.h"

const char* const kMpHeader =
    "[IMG ID]\r\n"
    "ID=00402377\r\n"
    "Name=Vexa.Marks\r\n"
    "LblCoding=9\r\n"
    "CodePage=1251\r\n"
    "Levels=2\r\n"
    "Level0=22\r\n"
    "Level1=21\r\n"
    "Transparent=Y\r\n"
    "Preprocess=F\r\n"
    "POIIndex=N\r\n"
    "TreSize=511\r\n"
    "RgnLimit=1024\r\n"
    "[END-IMG ID]\r\n"
    "\r\n"
    "\r\n"
    "%s\r\n";

void TIconTypes::LoadIconTypes(const std::filesystem::path& iniPath)
{
    TIniFile ini(iniPath);
    for (const std::string& section : ini.SectionNames()) {
        // The value goes into a record of its own line, so it gets the same care as
        // a mark's text: a NUL or a control character in the file cannot cut the export.
        std::string value = "0x" + OneLineText(ini.ReadString(section, "Type"));
        FEntries.push_back(section + "=" + value);
        FFirst.emplace(Cp1251Lower(section), std::move(value));
    }
}

std::string TIconTypes::IconTypeLine(std::string_view key) const
{
    auto it = FFirst.find(Cp1251Lower(key));
    if (it == FFirst.end() || it->second.empty())
        return "Type=0x0b00";
    return "Type=" + it->second;
}

namespace {

void AppendPair(std::string& out, const TMarkPoint& p)
{
    out.push_back('(');
    AppendFixed6(out, p.Lat);
    out.push_back(',');
    AppendFixed6(out, p.Lon);
    out.push_back(')');
}

std::string_view TrimControls(std::string_view s)
{
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32)
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32)
        s.remove_suffix(1);
    return s;
}

} // namespace

void AddMpObject(TExportState& state, const TMarkData& mark, const TIconTypes& types)
{
    if (!mark.visible || mark.points.empty())
        return;
    ++state.FExportCount;
    std::string& out = state.FExportText;
    const TMarkShape shape = ShapeOf(mark.points);
    out.append(shape == msPoint ? "[POI]\r\nData0=" : (shape == msLine ? "[POLYLINE]\r\nData0=" : "[POLYGON]\r\nData0="));
    if (shape == msPoint) {
        AppendPair(out, mark.points[0]);
    } else {
        for (size_t i = 0; i < mark.points.size(); ++i) {
            if (i > 0)
                out.push_back(',');
            AppendPair(out, mark.points[i]);
        }
    }
    out.append("\r\n");
    out.append(types.IconTypeLine(shape == msPoint ? std::string_view(mark.picname)
                                                   : (shape == msLine ? "POLYLINE" : "POLYGON")));
    out.append("\r\nLabel=");
    const std::string label = OneLineText(mark.name);
    out.append(shape == msPoint ? TrimControls(label) : std::string_view(label));
    out.append("\r\n[END]\r\n");
}
