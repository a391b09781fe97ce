#pragma once

#include <string>
#include <string_view>
#include <vector>

// How a grid column paints its field.
enum class TColumnKind { Text, Check, Icon };

// One column of a grid, as the window defines it. Widths are pixels at 96 dpi.
struct TGridColumn {
    std::string FieldName;
    int Width = 0;
    bool Visible = true;
    TColumnKind Kind = TColumnKind::Text;
    // The field's text as the grid shows and edits it; plain AsText when empty.
    std::string (*GetText)(const std::string& text) = nullptr;
};

std::vector<TGridColumn> CatsColumns();
std::vector<TGridColumn> MarksColumns();

// The description as the marks grid shows it: its first 1000 characters, so a long
// text costs the grid nothing; the memo shows it whole.
std::string CDMarksdescrGetText(const std::string& text);
