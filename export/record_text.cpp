#include "record_text.h"

#include "code_page.h"

std::string OneLineText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    AppendOneLineText(out, text);
    return out;
}

void AppendOneLineText(std::string& out, std::string_view text)
{
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
}

bool IsForbiddenInXml(char c)
{
    auto u = static_cast<unsigned char>(c);
    return u < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

void AppendXmlText(std::string& out, std::string_view utf8)
{
    for (char c : utf8) {
        switch (c) {
        case '&': out.append("&amp;"); break;
        case '<': out.append("&lt;"); break;
        case '>': out.append("&gt;"); break;
        default:
            if (!IsForbiddenInXml(c))
                out.push_back(c);
        }
    }
}

std::string_view Utf8Of(std::string_view cp1251)
{
    static thread_local std::string buffer;
    buffer.clear();
    AppendCp1251AsUtf8(buffer, cp1251);
    return buffer;
}
