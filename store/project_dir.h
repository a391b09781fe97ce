#pragma once

#include <filesystem>
#include <string>

#include "client_dataset.h"

// The files of a project directory and the two whole-directory operations.

inline constexpr const char* kCatsFile = "Categorymarks.sml";
inline constexpr const char* kMarksFile = "marks.sml";
inline constexpr const char* kCatsBackup = "Categorymarks.~sml";
inline constexpr const char* kMarksBackup = "marks.~sml";

// The directory as an absolute, normalised path ending in exactly one separator.
std::string ProjectDirOf(const std::filesystem::path& dir);

enum class TSaveResult { Saved, BackupFailed };

// Copies both table files to their backups, merges both change logs and writes both
// tables. A failed backup copy saves nothing. The two table files are replaced
// together: each is written whole to a temporary file first, and only when both are
// written are they renamed over the old files, so a failure leaves both files as
// they were (see WriteFilesTogether for protected, linked and in-place files). A
// table that is closed because its file failed to load is neither merged nor
// written.
TSaveResult SaveProject(const std::string& projectDir, TClientDataSet& cats, TClientDataSet& marks);
