#pragma once

#include <QString>

#include <optional>
#include <vector>

#include "gm_types.h"

// How values are written into the parameter text of a page function call, and
// how the texts the page writes into its fields are read back. Numbers always use
// "." whatever the user's regional settings.

QString JsBool(bool value);
QString JsInt(long long value);
// At most 15 significant digits, the shortest form; fixed notation from 0.00001 up
// to 15 integer digits, otherwise "1E-6", "1.5E20". A non-finite value is written
// the way JavaScript names it, so the call still parses.
QString JsReal(double value);
// A coordinate; precision > 0 truncates it to that many decimals.
QString JsCoordinate(double value, int precision = 0);
// A JavaScript string literal in apostrophes. Every character that could end the
// literal or the script around it is escaped: the apostrophe, backslash, line
// breaks (CR, LF, U+2028, U+2029), other control characters and "</".
QString JsQuoted(const QString& value);
// Appends the text as a JSON string literal, which is also a JavaScript one: '"',
// backslash, control characters, U+2028 and U+2029 escaped. Texts of many megabytes
// pass through here, so it writes in one pass into space sized beforehand.
void AppendJsonString(QString& out, QStringView text);
// A text for the page: apostrophes become the placeholder ".#%#:" that the page
// turns back, then the text is quoted as above.
QString JsText(const QString& value);
// Info window content: a text that also loses every CR LF pair.
QString JsContent(const QString& value);
// '#RRGGBB' from a colour holding red in its low byte.
QString JsColour(TColor colour);
// 'lat|lng;lat|lng', each coordinate as JsCoordinate.
QString JsPointList(const std::vector<TGeoPoint>& points, int precision = 0);

// A finite decimal number with "." (an exponent such as "e-7" is accepted); nothing
// for an empty or malformed text, and for "NaN", "Infinity" and the like.
std::optional<double> ReadReal(QStringView text);
// A decimal integer; nothing for an empty, malformed or out-of-range text.
std::optional<int> ReadInteger(QStringView text);
