#pragma once

#include <QtGlobal>

// Which row of a pane is at the top of its view, and how that shows on a scroll bar, whose
// range is an int. Rows are 64-bit; past kBarLimit rows the bar stands for several rows per
// step (proportionally), and the top row stays exact: steps of the operator move by rows,
// the end of the text is the end of the bar. No widget, so it can be tested at any length.
class RowScroll {
public:
    static constexpr qint64 kBarLimit = qint64(1) << 30;

    // The rows that can be at the top run from 0 to lastTop. Whoever watched the end keeps
    // watching it; any other top stays where it was (within the new range).
    void grow(qint64 lastTop);
    qint64 lastTop() const { return m_lastTop; }

    qint64 top() const { return m_top; }
    void setTop(qint64 row);
    bool atEnd() const { return m_top >= m_lastTop; }

    int barMaximum() const;
    int barValue() const;
    // The top for a place of the bar: its maximum is the last top, its minimum row 0.
    qint64 rowAtBar(int value) const;

private:
    qint64 rowsPerStep() const;

    qint64 m_lastTop = 0;
    qint64 m_top = 0;
};
