#pragma once

#include <QString>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "gm_map.h"
#include "icon_cache.h"
#include "mark_geometry.h"

// The icon picture of a mark's picname, or nullptr when there is none.
using TFindIcon = std::function<const TIconPicture*(const std::string& picname)>;

// The argument of the page's MarksShow: a JavaScript string literal holding the
// marks text, JSON that the page reads with JSON.parse. It holds the icons named in
// iconNames by name (each once, as a PNG data address with its size), and each mark
// with points as [key, name, shape, line colour, fill colour, icon name, [lat, lng,
// ...]], key being the mark's position in marks. Coordinates are whole numbers of
// ten-millionths of a degree, the first point as it is and each next one as its
// difference from the one before: short integers the page reads fast. A mark without
// points, or with a point that is not a finite number, is left out. Names are
// Windows-1251 and become UTF-16.
QString MarksLiteral(const std::vector<TMarkData>& marks, const std::set<std::string>& iconNames,
                     const TFindIcon& findIcon);

// Shows many marks at once on the map page (a category, or the marks selected in
// the grid), in one call whose argument is the marks text as a string, which the
// page reads with JSON.parse; each icon travels to a page once.
class TMarksOnMap {
public:
    // Sends the marks, replacing those shown before, and fits the view to them.
    // Raises the map view's errors (the map must be live).
    void Show(TGMMap& map, const std::vector<TMarkData>& marks, const TFindIcon& findIcon);

private:
    int FPage = -1;
    std::set<std::string> FIconsSent;
};
