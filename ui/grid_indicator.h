#pragma once

#include <QHeaderView>

#include <functional>

// The row indicator column of a grid: an arrow at the current row, an I-beam while
// it is edited, a star while it is a new row, and a dot on every selected row.
class TGridIndicator : public QHeaderView {
    Q_OBJECT

public:
    TGridIndicator(int width, QWidget* parent);

    std::function<bool(int row)> IsRowSelected;

    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    int FWidth;
};
