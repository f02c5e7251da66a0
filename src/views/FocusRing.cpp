#include "views/FocusRing.h"

#include <QPainter>
#include <QPalette>
#include <QWidget>

void drawFocusRing(QPainter& painter, const QWidget& viewport)
{
    constexpr int kWidth = 2;
    const QRect area = viewport.rect();
    const QColor colour = viewport.palette().color(QPalette::Highlight);
    painter.save();
    painter.fillRect(QRect(area.left(), area.top(), area.width(), kWidth), colour);
    painter.fillRect(QRect(area.left(), area.bottom() - kWidth + 1, area.width(), kWidth), colour);
    painter.fillRect(QRect(area.left(), area.top(), kWidth, area.height()), colour);
    painter.fillRect(QRect(area.right() - kWidth + 1, area.top(), kWidth, area.height()), colour);
    painter.restore();
}
