#pragma once

#include <string>
#include <string_view>

// An address or file name as it is meant: each "%" followed by two hexadecimal
// digits becomes the byte they give; everything else stays as it is.
std::string PercentDecoded(std::string_view text);
