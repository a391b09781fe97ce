#include "db_memo.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>

#include "marks_error.h"
#include "table_text.h"

TDBMemo::TDBMemo(TClientDataSet& table, const std::string& fieldName, QWidget* parent)
    : QPlainTextEdit(parent), FTable(table), FField(table.FieldNamed(fieldName))
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    connect(this, &QPlainTextEdit::textChanged, this, &TDBMemo::TextTyped);
    FTable.AddObserver(this);
    Reload();
}

TDBMemo::~TDBMemo()
{
    FTable.RemoveObserver(this);
}

void TDBMemo::Reload()
{
    const QString text = TableToQString(FField.AsText()).replace("\r\n", "\n");
    FDirty = false;
    setReadOnly(!FTable.IsOpen());
    if (text == toPlainText())
        return;
    FLoading = true;
    setPlainText(text);
    FLoading = false;
}

void TDBMemo::TextTyped()
{
    if (FLoading)
        return;
    if (FTable.State() == TTableState::Browse) {
        // Dirty first: starting the edit tells the views, and the memo must not
        // reload the field's old text over what was just typed.
        FDirty = true;
        try {
            FTable.BeginEdit();
        } catch (...) {
            Reload();
            if (OnError)
                OnError(ErrorMessageOf());
            return;
        }
    }
    FDirty = true;
}

void TDBMemo::Assign()
{
    if (!FDirty)
        return;
    FDirty = false;
    // The memo keeps its lines with LF; the descriptions of the map application end
    // their lines with CR LF.
    FField.SetAsText(QStringToTable(toPlainText().replace('\n', "\r\n")));
}

void TDBMemo::DataSetChanged(TClientDataSet&)
{
    // Typed text is kept only while its row is still being edited.
    const bool editing = FTable.State() == TTableState::Edit || FTable.State() == TTableState::Insert;
    if (!FDirty || !editing)
        Reload();
}

void TDBMemo::UpdateRecord(TClientDataSet&)
{
    Assign();
}

void TDBMemo::focusOutEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusOutEvent(event);
    try {
        Assign();
    } catch (...) {
        if (OnError)
            OnError(ErrorMessageOf());
    }
}

void TDBMemo::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        Reload();
        return;
    }
    if (!Storable(event->text()))
        return;
    QPlainTextEdit::keyPressEvent(event);
}

void TDBMemo::inputMethodEvent(QInputMethodEvent* event)
{
    if (!Storable(event->commitString()))
        return;
    QPlainTextEdit::inputMethodEvent(event);
}

void TDBMemo::insertFromMimeData(const QMimeData* source)
{
    if (source->hasText() && !Storable(source->text()))
        return;
    QPlainTextEdit::insertFromMimeData(source);
}

bool TDBMemo::Storable(const QString& text)
{
    // A character the code page lacks would be saved as "?": it is refused where it
    // is typed, pasted or dropped, with the character named.
    const QString character = FirstUnstorableCharacter(text);
    if (character.isEmpty())
        return true;
    if (OnError)
        OnError(UnstorableCharacterMessage(character));
    return false;
}
