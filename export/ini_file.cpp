#include "ini_file.h"

#include <unordered_map>

#include "ascii.h"
#include "file_io.h"
#include "marks_error.h"

namespace {

constexpr size_t kSectionNamesBuffer = 16384;
constexpr size_t kValueLimit = 2047;

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::string LowerAscii(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = AsciiLower(c);
    return out;
}

} // namespace

TIniFile::TIniFile(const std::filesystem::path& path)
{
    try {
        *this = FromText(ReadWholeFile(path));
    } catch (const EMarksError&) {
        FSections.clear();
    }
}

TIniFile TIniFile::FromText(std::string_view text)
{
    TIniFile ini;
    TSection* current = nullptr;
    while (!text.empty()) {
        size_t end = text.find_first_of("\r\n");
        std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            std::string name(Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
            auto [it, added] = ini.FIndex.emplace(LowerAscii(name), ini.FSections.size());
            if (added)
                ini.FSections.push_back({std::move(name), {}});
            current = &ini.FSections[it->second];
            continue;
        }
        size_t equals = line.find('=');
        if (!current || equals == std::string_view::npos)
            continue;
        std::string_view value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        current->Entries.push_back({std::string(Trim(line.substr(0, equals))), std::string(value.substr(0, kValueLimit))});
    }
    return ini;
}

std::vector<std::string> TIniFile::SectionNames() const
{
    std::vector<std::string> names;
    size_t used = 1; // the list's closing terminator
    for (const TSection& s : FSections) {
        used += s.Name.size() + 1;
        if (used > kSectionNamesBuffer)
            break;
        names.push_back(s.Name);
    }
    return names;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key) const
{
    auto it = FIndex.find(LowerAscii(section));
    if (it == FIndex.end())
        return {};
    for (const TEntry& e : FSections[it->second].Entries)
        if (EqualNoCase(e.Key, key))
            return e.Value;
    return {};
}
