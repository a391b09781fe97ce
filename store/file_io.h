#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Whole-file reads and writes with the program's messages.

// Throws "Cannot open file \"%s\". %s" when the file cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);

// Writes the bytes to a temporary file in the target's folder, flushes it to disk
// and renames it over the target, keeping the target's permissions. A failure
// throws "Cannot create file \"%s\". %s" and leaves the target as it was.
void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// The system's text for errno, for messages.
std::string SystemErrorText(int error);
