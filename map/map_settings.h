#pragma once

#include <QString>

#include <filesystem>

// The map service's API key: the environment variable MARKS_MAP_API_KEY when it is
// set and not blank, otherwise ApiKey= of the [Map] section of marks-editor.ini in
// the program's folder; empty when neither gives one.
QString MapApiKey(const std::filesystem::path& programDir);
