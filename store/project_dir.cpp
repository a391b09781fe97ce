#include "project_dir.h"

#include <system_error>

#include "file_io.h"
#include "marks_error.h"

std::string ProjectDirOf(const std::filesystem::path& dir)
{
    std::filesystem::path absolute = std::filesystem::absolute(dir / "").lexically_normal();
    std::string text = absolute.string();
    while (text.size() > 1 && text.back() == '/' && text[text.size() - 2] == '/')
        text.pop_back();
    if (text.empty() || text.back() != '/')
        text.push_back('/');
    return text;
}

namespace {

bool CopyBackup(const std::filesystem::path& from, const std::filesystem::path& to)
{
    try {
        WriteFileAtomically(to, ReadWholeFile(from));
        return true;
    } catch (const EMarksError&) {
        return false;
    }
}

} // namespace

TSaveResult SaveProject(const std::string& projectDir, TClientDataSet& cats, TClientDataSet& marks)
{
    if (projectDir.empty())
        throw EMarksError("No project directory is open. Load a project before saving.");
    const std::filesystem::path dir(projectDir);
    if (!CopyBackup(dir / kCatsFile, dir / kCatsBackup) || !CopyBackup(dir / kMarksFile, dir / kMarksBackup))
        return TSaveResult::BackupFailed;
    // A table that failed to load is closed: it has nothing to merge or write, and
    // its file stays as it is, so the other table's changes can still be saved.
    for (TClientDataSet* table : {&cats, &marks})
        if (table->IsOpen())
            table->MergeChanges();
    std::vector<TFileWrite> files;
    std::vector<std::filesystem::path> backups;
    std::string catsText = cats.PacketText();
    std::string marksText = marks.PacketText();
    if (cats.IsOpen()) {
        files.push_back({dir / kCatsFile, catsText});
        backups.push_back(dir / kCatsBackup);
    }
    if (marks.IsOpen()) {
        files.push_back({dir / kMarksFile, marksText});
        backups.push_back(dir / kMarksBackup);
    }
    WriteFilesTogether(files, backups);
    return TSaveResult::Saved;
}
