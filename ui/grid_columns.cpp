#include "grid_columns.h"

#include <QtGlobal>

// The names of the columns shown are marked for translation: a grid titles each
// column with its field's name in the person's language, while the field keeps the
// name the files use.

std::vector<TGridColumn> CatsColumns()
{
    return {
        {QT_TRANSLATE_NOOP("TGridColumn", "id"), 32},
        {QT_TRANSLATE_NOOP("TGridColumn", "name"), 200},
        {QT_TRANSLATE_NOOP("TGridColumn", "visible"), 18, true, TColumnKind::Check},
        {QT_TRANSLATE_NOOP("TGridColumn", "AfterScale"), 20},
        {QT_TRANSLATE_NOOP("TGridColumn", "BeforeScale"), 20},
    };
}

std::vector<TGridColumn> MarksColumns()
{
    // The hidden columns stay in the list so the grid's columns name every field of
    // the table, but they are never shown.
    return {
        {QT_TRANSLATE_NOOP("TGridColumn", "id"), 0, false},
        {QT_TRANSLATE_NOOP("TGridColumn", "name"), 200},
        {QT_TRANSLATE_NOOP("TGridColumn", "descr"), 160, true, TColumnKind::Text, &CDMarksdescrGetText},
        {QT_TRANSLATE_NOOP("TGridColumn", "scale1"), 20},
        {QT_TRANSLATE_NOOP("TGridColumn", "scale2"), 20},
        {"lonlatarr", 0, false},
        {"lonL", 0, false},
        {"latT", 0, false},
        {"LonR", 0, false},
        {"LatB", 0, false},
        {"color1", 0, false},
        {"color2", 0, false},
        {QT_TRANSLATE_NOOP("TGridColumn", "visible"), 18, true, TColumnKind::Check},
        {QT_TRANSLATE_NOOP("TGridColumn", "picname"), 100, true, TColumnKind::Icon},
        {"categoryid", 0, false},
    };
}

std::string CDMarksdescrGetText(const std::string& text)
{
    return text.substr(0, 1000);
}
