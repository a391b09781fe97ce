#include "record_text.h"

std::string OneLineText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out.push_back(' ');
        } else if (c >= 0x20 || c == '\t') {
            out.push_back(text[i]);
        }
    }
    return out;
}
