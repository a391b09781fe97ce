#pragma once

#include <string>

// "%.6f" of an 80-bit extended value, as the C library prints it ("." as
// separator, round half to even on exact ties, "-" kept on a negative value that
// rounds to zero), computed exactly in integers: the exports print millions of
// coordinates, and this is several times faster than snprintf.
void AppendFixed6(std::string& out, long double value);
