#include "grid_indicator.h"

#include <QPainter>
#include <QPainterPath>

#include "grid_model.h"

TGridIndicator::TGridIndicator(int width, QWidget* parent) : QHeaderView(Qt::Vertical, parent), FWidth(width)
{
    setSectionsClickable(true);
}

QSize TGridIndicator::sizeHint() const
{
    // A fixed width: the base class would measure section texts.
    return {FWidth, QHeaderView::sizeHint().height()};
}

void TGridIndicator::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    const QPalette& palette = this->palette();
    painter->save();
    painter->fillRect(rect, palette.color(QPalette::Button));
    painter->setPen(palette.color(QPalette::Mid));
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());

    const auto* grid = qobject_cast<const TGridModel*>(model());
    const bool selected = IsRowSelected && IsRowSelected(logicalIndex);
    const QColor mark = palette.color(QPalette::ButtonText);
    painter->setPen(mark);
    painter->setBrush(mark);
    const QPointF c = QRectF(rect).center();
    if (grid && logicalIndex == grid->CurrentRow()) {
        switch (grid->Table().State()) {
        case TTableState::Edit:
            painter->drawLine(QPointF(c.x(), c.y() - 4), QPointF(c.x(), c.y() + 4));
            painter->drawLine(QPointF(c.x() - 2, c.y() - 4), QPointF(c.x() + 2, c.y() - 4));
            painter->drawLine(QPointF(c.x() - 2, c.y() + 4), QPointF(c.x() + 2, c.y() + 4));
            break;
        case TTableState::Insert: {
            QFont font = painter->font();
            font.setBold(true);
            painter->setFont(font);
            painter->drawText(rect, Qt::AlignCenter, "*");
            break;
        }
        default: {
            QPainterPath arrow;
            arrow.moveTo(c.x() - 2, c.y() - 4);
            arrow.lineTo(c.x() + 2, c.y());
            arrow.lineTo(c.x() - 2, c.y() + 4);
            arrow.closeSubpath();
            painter->drawPath(arrow);
            break;
        }
        }
        if (selected)
            painter->drawEllipse(QPointF(rect.left() + 2.5, c.y()), 1.5, 1.5);
    } else if (selected) {
        painter->drawEllipse(c, 2.0, 2.0);
    }
    painter->restore();
}
