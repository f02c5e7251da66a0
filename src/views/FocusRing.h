#pragma once

class QPainter;
class QWidget;

// Draws, inside a view's edges, the ring that shows the view has the keyboard focus, in the
// palette's highlight colour as the style draws a focused line edit. For the views that paint
// themselves (log pane, code list), which the style would leave looking the same either way.
void drawFocusRing(QPainter& painter, const QWidget& viewport);
