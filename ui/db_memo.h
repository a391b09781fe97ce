#pragma once

#include <QPlainTextEdit>

#include <functional>
#include <string>

#include "client_dataset.h"

// A memo bound to a text field of a table's current row. It shows the whole value;
// typing starts an edit of the row, and the text goes into the field when the memo
// loses the focus or the row is posted. Esc goes back to the field's value.
class TDBMemo : public QPlainTextEdit, public TDataSetObserver {
    Q_OBJECT

public:
    TDBMemo(TClientDataSet& table, const std::string& fieldName, QWidget* parent = nullptr);
    ~TDBMemo() override;

    // Shows an error; set by the window.
    std::function<void(const std::string&)> OnError;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    TClientDataSet& FTable;
    TField& FField;
    bool FLoading = false;
    bool FDirty = false; // typed text not yet in the field

    void Reload();
    void Assign();

    void TextTyped();
    // Whether every character of text can be stored; if not, the first one that
    // cannot is named in an error.
    bool Storable(const QString& text);

    void DataSetChanged(TClientDataSet& dataSet) override;
    void UpdateRecord(TClientDataSet& dataSet) override;
};
