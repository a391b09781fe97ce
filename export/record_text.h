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
void AppendOneLineText(std::string& out, std::string_view text);

// Whether XML 1.0 forbids the byte as a character: the control characters but the
// tab and the line breaks.
bool IsForbiddenInXml(char c);

// Element text of an XML document: UTF-8 with "&", "<" and ">" escaped; the
// control characters XML does not allow are dropped, so the document stays
// well-formed whatever a mark's text holds.
void AppendXmlText(std::string& out, std::string_view utf8);

// Table text (Windows-1251) as UTF-8, in a buffer of the thread that the next call
// reuses.
std::string_view Utf8Of(std::string_view cp1251);
