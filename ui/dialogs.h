#pragma once

#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QWidget;

enum class TAnswer { Yes, No, Cancel };

// The progress of a long command, with a Cancel button, shown once the command has
// taken more than a moment. Step reports how far it has come and returns false once
// the person has cancelled; the dialog closes when the object goes.
class TProgress {
public:
    virtual ~TProgress() = default;
    virtual bool Step(std::uint64_t done, std::uint64_t total) = 0;
};

// Every question, message and chooser a window shows goes through this interface,
// so tests can answer them without a person. Texts are UTF-8.
class TDialogs {
public:
    virtual ~TDialogs() = default;
    // A plain message box with the application title as caption and an OK button.
    virtual void Inform(const std::string& text) = 0;
    // The error box: the application title, a stop icon and an OK button.
    virtual void ShowErrorBox(const std::string& text) = 0;
    // Yes, No and Cancel, no icon, Yes the default.
    virtual TAnswer AskYesNoCancel(const std::string& text, const std::string& caption) = 0;
    // A confirmation with OK and Cancel; true for OK.
    virtual bool AskOkCancel(const std::string& text) = 0;
    // A folder, or nothing when the user cancels.
    virtual std::optional<std::string> ChooseFolder(const std::string& title) = 0;
    // The export save prompt: default extension, proposed file name and filter
    // ("text|pattern|text|pattern"); filterIndex is the entry selected, updated when
    // the user confirms. Choosing an existing file does not ask. Nothing on cancel.
    virtual std::optional<std::string> AskSaveFile(const std::string& defaultExt, const std::string& fileName,
                                                   const std::string& filter, int& filterIndex) = 0;
    // The open prompt for an existing file, with a filter in the same form as above.
    // Nothing on cancel; nothing by default, so dialogs that never import need not
    // answer it.
    virtual std::optional<std::string> AskOpenFile(const std::string& filter)
    {
        (void)filter;
        return std::nullopt;
    }
    // A progress dialog saying text; by default none is shown and nothing cancels.
    virtual std::unique_ptr<TProgress> ShowProgress(const std::string& text);
};

// A filter "text|pattern|text|pattern" as the file dialog's name filters, one per
// pair: "Track Files ( *.kml)|*.kml" becomes "Track Files (*.kml)". "*.*" is every
// file, with or without a dot.
QStringList NameFilters(const std::string& filter);

// The dialogs of the window system, parented to the given window.
class TQtDialogs : public TDialogs {
public:
    explicit TQtDialogs(QWidget* parent) : FParent(parent) {}
    void Inform(const std::string& text) override;
    void ShowErrorBox(const std::string& text) override;
    TAnswer AskYesNoCancel(const std::string& text, const std::string& caption) override;
    bool AskOkCancel(const std::string& text) override;
    std::optional<std::string> ChooseFolder(const std::string& title) override;
    std::optional<std::string> AskSaveFile(const std::string& defaultExt, const std::string& fileName,
                                           const std::string& filter, int& filterIndex) override;
    std::optional<std::string> AskOpenFile(const std::string& filter) override;
    std::unique_ptr<TProgress> ShowProgress(const std::string& text) override;

private:
    QWidget* FParent;
};
