#include "dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

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

std::optional<std::string> TQtDialogs::ChooseFolder(const std::string& title)
{
    QString dir = QFileDialog::getExistingDirectory(FParent, QString::fromStdString(title), QString(),
                                                    QFileDialog::ShowDirsOnly);
    if (dir.isEmpty())
        return std::nullopt;
    return dir.toStdString();
}
