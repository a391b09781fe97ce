#pragma once

#include <QPointer>
#include <QLineEdit>
#include <QStyledItemDelegate>

#include <functional>

class QImage;

// Paints every data cell of a grid as the window wants it (alternating rows, the
// drop-target row, checkboxes, icons before the icon name, the highlight of the
// current cell and of selected rows) and runs the in-place editor.
class TGridDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit TGridDelegate(QObject* parent = nullptr);

    // Whether a model row is part of the grid's multi-selection.
    std::function<bool(int row)> IsRowSelected;
    // Whether a model row is the drop target of a drag over the grid.
    std::function<bool(int row)> IsDropRow;
    // The icon drawn before a name in an icon column, or nullptr.
    std::function<const QImage*(const QString& name)> FindIcon;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

    // The editor open now, if any, and the cell it edits.
    QLineEdit* Editor() const { return FEditorIndex.isValid() ? FEditor.data() : nullptr; }
    QModelIndex EditorIndex() const { return FEditorIndex; }
    void ForgetEditor(QWidget* editor);

signals:
    // Esc was pressed in the editor (the grid clears its selection).
    void EscapePressed();
    // Ctrl+Del was pressed in the editor; the grid deletes as if it had the key.
    void DeleteRequested();

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    mutable QPointer<QLineEdit> FEditor;
    mutable QPersistentModelIndex FEditorIndex;
};

// Background and text colours of the grids.
namespace GridColors {
inline constexpr unsigned kEvenRow = 0xDFF0F6;    // RGB of the window colour 0xF6F0DF
inline constexpr unsigned kDropRow = 0xC0C0C0;
inline constexpr unsigned kDropText = 0x000080;   // RGB of 0x800000
} // namespace GridColors
