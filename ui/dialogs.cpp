#include "dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProgressDialog>

void TQtDialogs::Inform(const std::string& text)
{
    QMessageBox::information(FParent, QApplication::applicationDisplayName(), QString::fromStdString(text));
}

void TQtDialogs::ShowErrorBox(const std::string& text)
{
    QMessageBox::critical(FParent, QApplication::applicationDisplayName(), QString::fromStdString(text));
}

TAnswer TQtDialogs::AskYesNoCancel(const std::string& text, const std::string& caption)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, FParent);
    box.setDefaultButton(QMessageBox::Yes);
    switch (box.exec()) {
    case QMessageBox::Yes: return TAnswer::Yes;
    case QMessageBox::No: return TAnswer::No;
    default: return TAnswer::Cancel;
    }
}

bool TQtDialogs::AskOkCancel(const std::string& text)
{
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), QString::fromStdString(text),
                    QMessageBox::Ok | QMessageBox::Cancel, FParent);
    return box.exec() == QMessageBox::Ok;
}

std::optional<std::string> TQtDialogs::ChooseFolder(const std::string& title)
{
    QString dir = QFileDialog::getExistingDirectory(FParent, QString::fromStdString(title), QString(),
                                                    QFileDialog::ShowDirsOnly);
    if (dir.isEmpty())
        return std::nullopt;
    return dir.toStdString();
}

namespace {

// The kinds of file the export and import prompts offer, as the file dialog names
// them in the person's language.
[[maybe_unused]] const char* const kFileKinds[] = {
    QT_TRANSLATE_NOOP("TQtDialogs", "Track Files"),
    QT_TRANSLATE_NOOP("TQtDialogs", "Map Files"),
    QT_TRANSLATE_NOOP("TQtDialogs", "GPX Files"),
    QT_TRANSLATE_NOOP("TQtDialogs", "GeoJSON Files"),
    QT_TRANSLATE_NOOP("TQtDialogs", "All Files"),
    QT_TRANSLATE_NOOP("TQtDialogs", "GPX, KML, KMZ and GeoJSON files"),
    QT_TRANSLATE_NOOP("TQtDialogs", "All files"),
};

} // namespace

QStringList NameFilters(const std::string& filter)
{
    QStringList parts = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString text = parts[i].trimmed();
        const QString pattern = parts[i + 1];
        // A text that already shows its pattern in brackets at the end gets it once,
        // in the form the file dialog reads.
        const qsizetype open = text.lastIndexOf('(');
        const bool shown =
            open >= 0 && text.endsWith(')') && text.mid(open + 1, text.size() - open - 2).remove(' ') == pattern;
        if (shown)
            text = text.left(open).trimmed();
        text = QCoreApplication::translate("TQtDialogs", text.toUtf8().constData());
        filters << text + " (" + (pattern == "*.*" ? QString("*") : pattern) + ")";
    }
    return filters;
}

std::optional<std::string> TQtDialogs::AskOpenFile(const std::string& filter)
{
    QFileDialog dialog(FParent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(NameFilters(filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

std::optional<std::string> TQtDialogs::AskSaveFile(const std::string& defaultExt, const std::string& fileName,
                                                   const std::string& filter, int& filterIndex)
{
    const QStringList filters = NameFilters(filter);
    QFileDialog dialog(FParent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(filters);
    if (filterIndex >= 0 && filterIndex < filters.size())
        dialog.selectNameFilter(filters[filterIndex]);
    dialog.setDefaultSuffix(QString::fromStdString(defaultExt).remove(0, 1));
    dialog.selectFile(QString::fromStdString(fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    filterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
    return dialog.selectedFiles().front().toStdString();
}

namespace {

class TSilentProgress : public TProgress {
public:
    bool Step(std::uint64_t, std::uint64_t) override { return true; }
};

// A window-modal progress dialog that appears after half a second of work. The
// events it needs (painting, the Cancel button) are handled at most every 50 ms,
// so frequent steps cost the work nothing.
class TQtProgress : public TProgress {
public:
    TQtProgress(QWidget* parent, const std::string& text)
        : FDialog(QString::fromStdString(text), QProgressDialog::tr("Cancel"), 0, kSteps, parent)
    {
        FDialog.setWindowTitle(QApplication::applicationDisplayName());
        FDialog.setWindowModality(Qt::WindowModal);
        FDialog.setMinimumDuration(500);
        FDialog.setAutoReset(false);
        FDialog.setAutoClose(false);
        FDialog.setValue(0);
        FTimer.start();
    }

    bool Step(std::uint64_t done, std::uint64_t total) override
    {
        if (FTimer.elapsed() >= 50) {
            FTimer.restart();
            const int value = total ? static_cast<int>(done * kSteps / total) : 0;
            FDialog.setValue(std::min(value, kSteps - 1));
            QApplication::processEvents();
        }
        return !FDialog.wasCanceled();
    }

private:
    static constexpr int kSteps = 1000;
    QProgressDialog FDialog;
    QElapsedTimer FTimer;
};

} // namespace

std::unique_ptr<TProgress> TDialogs::ShowProgress(const std::string&)
{
    return std::make_unique<TSilentProgress>();
}

std::unique_ptr<TProgress> TQtDialogs::ShowProgress(const std::string& text)
{
    return std::make_unique<TQtProgress>(FParent, text);
}
