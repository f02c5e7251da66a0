#include "views/RowScroll.h"

#include <algorithm>

void RowScroll::grow(qint64 lastTop)
{
    const bool following = atEnd();
    m_lastTop = std::max<qint64>(0, lastTop);
    setTop(following ? m_lastTop : m_top);
}

void RowScroll::setTop(qint64 row)
{
    m_top = std::clamp<qint64>(row, 0, m_lastTop);
}

qint64 RowScroll::rowsPerStep() const
{
    return std::max<qint64>(1, (m_lastTop + kBarLimit - 1) / kBarLimit);
}

int RowScroll::barMaximum() const
{
    const qint64 step = rowsPerStep();
    return int((m_lastTop + step - 1) / step);
}

int RowScroll::barValue() const
{
    // A top short of the end is short of the bar's end too.
    return atEnd() ? barMaximum() : int(m_top / rowsPerStep());
}

qint64 RowScroll::rowAtBar(int value) const
{
    if (value >= barMaximum())
        return m_lastTop;
    return std::max(0, value) * rowsPerStep();
}
