#include "grid_columns.h"

std::vector<TGridColumn> CatsColumns()
{
    return {
        {"id", 32},
        {"name", 200},
        {"visible", 18, true, TColumnKind::Check},
        {"AfterScale", 20},
        {"BeforeScale", 20},
    };
}

std::vector<TGridColumn> MarksColumns()
{
    // The hidden columns stay in the list so the grid's columns name every field of
    // the table, but they are never shown.
    return {
        {"id", 0, false},
        {"name", 200},
        {"descr", 160, true, TColumnKind::Text, &CDMarksdescrGetText},
        {"scale1", 20},
        {"scale2", 20},
        {"lonlatarr", 0, false},
        {"lonL", 0, false},
        {"latT", 0, false},
        {"LonR", 0, false},
        {"LatB", 0, false},
        {"color1", 0, false},
        {"color2", 0, false},
        {"visible", 18, true, TColumnKind::Check},
        {"picname", 100, true, TColumnKind::Icon},
        {"categoryid", 0, false},
    };
}

std::string CDMarksdescrGetText(const std::string& text)
{
    return text.substr(0, 1000);
}
