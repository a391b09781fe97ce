#include "grid_delegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QTimer>
#include <QValidator>

#include "grid_model.h"
#include "table_text.h"

namespace {

// How a cell is coloured before its content is drawn.
struct TCellColors {
    QColor Background;
    QColor Text;
    bool GridColor = true; // the background is still the grid's own colour
};

// Fills the cell and writes the text 2 pixels below its top edge: aligned left it
// starts 2 pixels in, aligned right it ends 3 pixels before the right edge.
void DrawDefaultCell(QPainter* painter, const QRect& rect, const TCellColors& colors, const QString& text,
                     Qt::Alignment alignment)
{
    painter->fillRect(rect, colors.Background);
    painter->setPen(colors.Text);
    const QRect textRect = rect.adjusted(2, 2, -3, 0);
    painter->drawText(textRect, static_cast<int>(alignment | Qt::AlignTop | Qt::TextSingleLine), text);
}

// A checkbox cell: button face unless the cell already has a colour of its own, a
// 1-pixel margin, and the style's checkbox, ticked for true.
void DrawCheckCell(QPainter* painter, const QStyleOptionViewItem& option, TCellColors colors, bool value)
{
    if (colors.GridColor)
        colors.Background = option.palette.color(QPalette::Button);
    painter->fillRect(option.rect, colors.Background);
    const QRect inner = option.rect.adjusted(1, 1, -1, -1);
    const int side = std::min(inner.width(), inner.height());
    QStyleOptionButton box;
    box.rect = QRect(inner.left() + (inner.width() - side) / 2, inner.top() + (inner.height() - side) / 2, side, side);
    box.state = QStyle::State_Enabled | (value ? QStyle::State_On : QStyle::State_Off);
    box.palette = option.palette;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, widget);
}

// Refuses an edit that would put a character into the text that Windows-1251, the
// tables' code page, has no byte for, and reports that character once the edit is
// over.
class TCodePageValidator : public QValidator {
public:
    using QValidator::QValidator;
    std::function<void(const std::string&)> OnRefused;

    State validate(QString& input, int&) const override
    {
        const QString character = FirstUnstorableCharacter(input);
        if (character.isEmpty())
            return Acceptable;
        QMetaObject::invokeMethod(
            const_cast<TCodePageValidator*>(this),
            [this, character] {
                if (OnRefused)
                    OnRefused(UnstorableCharacterMessage(character));
            },
            Qt::QueuedConnection);
        return Invalid;
    }
};

} // namespace

TGridDelegate::TGridDelegate(QObject* parent) : QStyledItemDelegate(parent)
{
}

void TGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto* model = static_cast<const TGridModel*>(index.model());
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    const int row = index.row();
    const bool current = view && view->currentIndex() == index;
    const bool highlighted = current || (IsRowSelected && IsRowSelected(row));

    // The highlight does not depend on the focus: the current cell stays visible.
    TCellColors colors;
    const QPalette& palette = option.palette;
    colors.Background = palette.color(QPalette::Active, QPalette::Base);
    colors.Text = palette.color(QPalette::Active, QPalette::Text);
    if (highlighted) {
        colors.Background = palette.color(QPalette::Active, QPalette::Highlight);
        colors.Text = palette.color(QPalette::Active, QPalette::HighlightedText);
        colors.GridColor = false;
    }
    if (view && !view->isEnabled())
        colors.Text = palette.color(QPalette::Disabled, QPalette::Text);

    if (!current && IsDropRow && IsDropRow(row)) {
        colors.Background = QColor::fromRgb(GridColors::kDropRow);
        colors.Text = QColor::fromRgb(GridColors::kDropText);
        colors.GridColor = false;
    } else if (index.data(TGridModel::RowNumberRole).toInt() % 2 == 0 && colors.GridColor) {
        colors.Background = QColor::fromRgb(GridColors::kEvenRow);
        colors.GridColor = false;
    }

    painter->save();
    painter->setClipRect(option.rect);
    painter->setFont(option.font);
    const TGridColumn& column = model->Column(index.column());
    const QString text = index.data(Qt::DisplayRole).toString();
    const auto alignment = index.data(Qt::TextAlignmentRole).value<Qt::Alignment>();
    switch (column.Kind) {
    case TColumnKind::Check:
        DrawCheckCell(painter, option, colors, index.data(TGridModel::FlagRole).toBool());
        break;
    case TColumnKind::Icon:
        if (const QImage* icon = FindIcon ? FindIcon(text) : nullptr) {
            // The picture is stretched to a square as tall as the cell, not drawn on
            // a fill of its own, so its transparent pixels show what was there.
            const QRect& r = option.rect;
            const int h = r.height();
            painter->setRenderHint(QPainter::SmoothPixmapTransform);
            painter->drawImage(QRect(r.left(), r.top(), h, h), *icon);
            DrawDefaultCell(painter, QRect(r.left() + h, r.top(), r.width() - h, h), colors, text, alignment);
            break;
        }
        DrawDefaultCell(painter, option.rect, colors, text, alignment);
        break;
    case TColumnKind::Text:
        DrawDefaultCell(painter, option.rect, colors, text, alignment);
        break;
    }
    painter->restore();
}

QWidget* TGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    auto* model = const_cast<TGridModel*>(static_cast<const TGridModel*>(index.model()));
    auto* editor = new QLineEdit(parent);
    editor->setFrame(false);
    const TField& field = model->FieldOf(index.column());
    if (field.Class() == TFieldClass::String && field.Size() > 0)
        editor->setMaxLength(field.Size());
    auto* validator = new TCodePageValidator(editor);
    validator->OnRefused = [model](const std::string& message) {
        if (model->OnError)
            model->OnError(message);
    };
    editor->setValidator(validator);
    // Typing starts an edit of the row at once, so the indicator shows it and a
    // table that refuses edits says so before anything is typed in vain.
    connect(editor, &QLineEdit::textEdited, this, [this, model, editor] {
        if (model->Table().State() == TTableState::Browse && !model->StartEdit())
            emit const_cast<TGridDelegate*>(this)->closeEditor(editor, QAbstractItemDelegate::NoHint);
    });
    FEditor = editor;
    FEditorIndex = index;
    return editor;
}

void TGridDelegate::ForgetEditor(QWidget* editor)
{
    if (editor == FEditor) {
        FEditor.clear();
        FEditorIndex = QPersistentModelIndex();
    }
}

void TGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    auto* line = static_cast<QLineEdit*>(editor);
    const QString text = index.data(Qt::EditRole).toString();
    line->setText(text);
    line->setProperty("fieldText", text);
}

void TGridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    model->setData(index, static_cast<QLineEdit*>(editor)->text(), Qt::EditRole);
}

void TGridDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const
{
    editor->setGeometry(option.rect);
}

bool TGridDelegate::eventFilter(QObject* object, QEvent* event)
{
    auto* editor = qobject_cast<QLineEdit*>(object);
    if (editor && event->type() == QEvent::FocusOut) {
        // Another window, a message box or a menu taking the focus is not leaving the
        // cell: the editor stays open with its text.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            return false;
        // A click in the editor's own grid gives the grid the focus first; the grid
        // then takes the text in before it moves, or keeps the editor when the text
        // is refused. An editor still open after the click gets the focus back.
        const QWidget* focus = QApplication::focusWidget();
        if (reason == Qt::MouseFocusReason && focus && focus->isAncestorOf(editor)) {
            QTimer::singleShot(0, editor, [editor] {
                if (editor->isVisible())
                    editor->setFocus();
            });
            return false;
        }
    }
    if (editor && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            // First a changed text goes back to the field's; only an unchanged cell
            // passes Esc on to the row, which then cancels its edit or insert.
            const bool changed = editor->text() != editor->property("fieldText").toString();
            emit closeEditor(editor, changed ? QAbstractItemDelegate::NoHint : QAbstractItemDelegate::RevertModelCache);
            emit EscapePressed();
            return true;
        }
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ControlModifier) {
            emit DeleteRequested();
            return true;
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}
