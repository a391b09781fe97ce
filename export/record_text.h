#pragma once

#include <string>
#include <string_view>

// A mark's text as a field of a one-line record (a waypoint line, an MP label):
// each line break (CR LF, a lone CR or a lone LF) becomes one space, so the record
// stays on its line; every other control character but the tab is dropped. A NUL
// would end the file for readers that take it as the end of the text, and Ctrl-Z
// ends a text file for DOS-era readers, so no byte of a mark's text may cut the
// record short or leave it incomplete.
std::string OneLineText(std::string_view text);
