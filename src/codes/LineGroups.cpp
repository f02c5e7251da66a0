#include "codes/LineGroups.h"

LineGroups::LineGroups(const CodeRows& rows, qint64 firstRow)
    : m_rows(rows)
    , m_scanned(firstRow)
{
}

line_grouping::Facts LineGroups::factsAt(qint64 row) const
{
    line_grouping::Facts facts{m_rows.link(row), m_rows.msecsSinceEpoch(row), m_rows.length(row)};
    // Only serial rows ever join: the others' bytes are not read.
    if (facts.link == Link::Serial && facts.length > 0) {
        const QByteArray bytes = facts.length == 1 ? m_rows.head(row, 1) : m_rows.bytes(row);
        facts.first = bytes.front();
        facts.last = bytes.back();
    }
    return facts;
}

bool LineGroups::scan(qint64 maxRows)
{
    const qint64 end = std::min(m_rows.count(), m_scanned + maxRows);
    bool grew = false;
    for (; m_scanned < end; ++m_scanned) {
        const line_grouping::Facts facts = factsAt(m_scanned);
        if (m_count > 0 && line_grouping::joins(m_last, facts)) {
            grew = true;
        } else {
            if (m_count % kCheckpointEvery == 0)
                m_checkpoints.push_back(m_scanned);
            ++m_count;
            grew = false;
        }
        m_last = facts;
    }
    return grew;
}

std::pair<qint64, qint64> LineGroups::rowsOf(qint64 shown) const
{
    qint64 group = (shown / kCheckpointEvery) * kCheckpointEvery;
    qint64 row = m_checkpoints[std::size_t(shown / kCheckpointEvery)];
    if (m_cursorShown >= group && m_cursorShown <= shown) {
        group = m_cursorShown;
        row = m_cursorRow;
    }
    line_grouping::Facts previous = factsAt(row);
    while (group < shown) {
        ++row;
        const line_grouping::Facts facts = factsAt(row);
        if (!line_grouping::joins(previous, facts))
            ++group;
        previous = facts;
    }
    m_cursorShown = shown;
    m_cursorRow = row;
    qint64 end = row + 1;
    for (; end < m_scanned; ++end) {
        const line_grouping::Facts facts = factsAt(end);
        if (!line_grouping::joins(previous, facts))
            break;
        previous = facts;
    }
    return {row, end};
}
