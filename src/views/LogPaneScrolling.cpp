// The log pane's scrolling: rows counted in 64 bits, shown on the scroll bar's int range
// (RowScroll), moved by the bar, the wheel and the keys.

#include "views/LogPane.h"

#include <QApplication>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

void LogPane::showScroll()
{
    QScrollBar* bar = verticalScrollBar();
    m_showingScroll = true;
    bar->setRange(0, m_scroll.barMaximum());
    const qint64 perStep = std::max<qint64>(1, m_scroll.lastTop() / std::max(1, bar->maximum()));
    bar->setPageStep(int(std::max<qint64>(1, visibleRows() / perStep)));
    bar->setSingleStep(1);
    bar->setValue(m_scroll.barValue());
    m_showingScroll = false;
}

void LogPane::scrollTo(qint64 top)
{
    m_scroll.setTop(top);
    showScroll();
    viewport()->update();
}

// Steps of the operator (arrows, keys, clicks beside the handle) move by rows, however many
// rows the bar's steps stand for; the handle dragged goes where it is dropped.
void LogPane::barAction(int action)
{
    qint64 top = m_scroll.top();
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
        top += 1;
        break;
    case QAbstractSlider::SliderSingleStepSub:
        top -= 1;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        top += visibleRows();
        break;
    case QAbstractSlider::SliderPageStepSub:
        top -= visibleRows();
        break;
    default:
        return;
    }
    m_scroll.setTop(top);
    verticalScrollBar()->setSliderPosition(m_scroll.barValue());
    viewport()->update();
}

void LogPane::scrollContentsBy(int, int)
{
    // The bar moved by itself (dragged, set by code): the top follows it, unless it already
    // shows the top.
    const int value = verticalScrollBar()->value();
    if (!m_showingScroll && value != m_scroll.barValue())
        m_scroll.setTop(m_scroll.rowAtBar(value));
    viewport()->update();
}

void LogPane::wheelEvent(QWheelEvent* event)
{
    const int lines = event->angleDelta().y() / 120 * QApplication::wheelScrollLines();
    if (lines == 0) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    scrollTo(m_scroll.top() - lines);
    event->accept();
}

void LogPane::scrollToPosition(qint64 position)
{
    const qint64 row = rowOf(position);
    if (row < m_scroll.top())
        scrollTo(row);
    else if (row >= m_scroll.top() + visibleRows())
        scrollTo(row - visibleRows() + 1);
}
