#pragma once

// What the window tests share: dialogs answered from a script.
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "dialogs.h"
#include "project_dir.h"

// Answers the window's questions from a script and records every box shown.
class TScriptedDialogs : public TDialogs {
public:
    std::deque<TAnswer> Answers;
    std::vector<std::string> Shown;
    // Where questions of several windows are recorded in the order asked, each
    // after the name of the window asked.
    std::vector<std::string>* Questions = nullptr;
    std::string Who;

    void Inform(const std::string& text) override { Shown.push_back("info: " + text); }
    void ShowErrorBox(const std::string& text) override { Shown.push_back("error: " + text); }
    TAnswer AskYesNoCancel(const std::string& text, const std::string& caption) override
    {
        Shown.push_back("ask: " + caption + " " + text);
        if (Questions)
            Questions->push_back(Who);
        TAnswer a = Answers.empty() ? TAnswer::Cancel : Answers.front();
        if (!Answers.empty())
            Answers.pop_front();
        return a;
    }
    // The answers of confirmations; an empty queue answers OK.
    std::deque<bool> Confirms;
    bool AskOkCancel(const std::string& text) override
    {
        Shown.push_back("confirm: " + text);
        bool ok = Confirms.empty() || Confirms.front();
        if (!Confirms.empty())
            Confirms.pop_front();
        return ok;
    }
    // The answer of the folder chooser.
    std::optional<std::string> Folder;
    std::optional<std::string> ChooseFolder(const std::string& title) override
    {
        Shown.push_back("folder: " + title);
        return Folder;
    }
    // The next answers of the save prompt; an empty one cancels.
    std::deque<std::string> Files;
    std::optional<std::string> AskSaveFile(const std::string& ext, const std::string& name, const std::string& filter,
                                           int& filterIndex) override
    {
        Shown.push_back("save: " + ext + " " + name + " " + filter + " " + std::to_string(filterIndex));
        std::string f = Files.empty() ? std::string() : Files.front();
        if (!Files.empty())
            Files.pop_front();
        if (f.empty())
            return std::nullopt;
        filterIndex = 1;
        return f;
    }
    // The next answers of the open prompt; an empty one cancels.
    std::deque<std::string> OpenFiles;
    std::optional<std::string> AskOpenFile(const std::string& filter) override
    {
        Shown.push_back("open: " + filter);
        std::string f = OpenFiles.empty() ? std::string() : OpenFiles.front();
        if (!OpenFiles.empty())
            OpenFiles.pop_front();
        if (f.empty())
            return std::nullopt;
        return f;
    }
    // Progress dialogs: their texts, the steps they were given, and the step at
    // which Cancel is pressed (0: never).
    std::vector<std::string> Progress;
    int ProgressSteps = 0;
    int CancelAtStep = 0;
    std::unique_ptr<TProgress> ShowProgress(const std::string& text) override
    {
        Progress.push_back(text);
        struct TScripted : TProgress {
            TScriptedDialogs& FOwner;
            explicit TScripted(TScriptedDialogs& owner) : FOwner(owner) {}
            bool Step(std::uint64_t, std::uint64_t) override
            {
                return ++FOwner.ProgressSteps != FOwner.CancelAtStep;
            }
        };
        return std::make_unique<TScripted>(*this);
    }
};

// Copies the sample project (both tables and its icons) into a new folder dir.
inline void CopySampleProject(const std::filesystem::path& dir)
{
    const std::filesystem::path sample = std::filesystem::path(MARKS_SOURCE_DIR) / "sample";
    std::filesystem::create_directories(dir);
    for (const char* name : {kCatsFile, kMarksFile})
        std::filesystem::copy_file(sample / name, dir / name);
    std::filesystem::copy(sample / "MarksIcons", dir / "MarksIcons");
}
