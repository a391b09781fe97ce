#pragma once

#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

// An INI file read with the rules of the Windows profile reader that the icon type
// map relies on: section names in file order, keys found without regard to letter
// case, values with the blanks around them removed (and one pair of enclosing
// quotes), ";" comment lines. A missing or unreadable file reads as empty.
class TIniFile {
public:
    TIniFile() = default;
    explicit TIniFile(const std::filesystem::path& path);
    static TIniFile FromText(std::string_view text);

    // Section names in file order, each once, within the reader's 16 KiB of names.
    std::vector<std::string> SectionNames() const;
    // The value of key in section (both case-blind), at most 2047 characters;
    // empty when missing.
    std::string ReadString(std::string_view section, std::string_view key) const;

private:
    struct TEntry {
        std::string Key;
        std::string Value;
    };
    struct TSection {
        std::string Name;
        std::vector<TEntry> Entries;
    };
    std::vector<TSection> FSections;
    std::unordered_map<std::string, size_t> FIndex; // lower-case name to section
};
