#include "codes/LineGrouping.h"

#include <utility>

namespace line_grouping {

Facts factsOf(const CodeRowEntry& row)
{
    Facts facts{row.link, row.msecsSinceEpoch, row.bytes.size()};
    if (!row.bytes.isEmpty()) {
        facts.first = row.bytes.front();
        facts.last = row.bytes.back();
    }
    return facts;
}

bool joins(const Facts& previous, const Facts& row)
{
    if (previous.link != Link::Serial || row.link != Link::Serial || previous.length == 0 ||
        row.length == 0 || row.msecs - previous.msecs > kPauseMs || previous.last == '\n')
        return false;
    // After a CR only the LF of a CR LF joins.
    return previous.last != '\r' || (row.length == 1 && row.first == '\n');
}

} // namespace line_grouping

LineGroupWriter::LineGroupWriter(std::function<bool(const CodeRowEntry&)> handOn)
    : m_handOn(std::move(handOn))
{
}

bool LineGroupWriter::add(const CodeRowEntry& row)
{
    const line_grouping::Facts facts = line_grouping::factsOf(row);
    if (m_holding && line_grouping::joins(m_last, facts)) {
        m_bytes.append(row.bytes);
        m_last = facts;
        return true;
    }
    if (!flush())
        return false;
    // A row nothing joins goes on at once, uncopied.
    if (facts.link != Link::Serial || facts.length == 0)
        return m_handOn(row);
    m_holding = true;
    m_head = row;
    m_bytes = row.bytes.toByteArray();
    m_last = facts;
    return true;
}

bool LineGroupWriter::flush()
{
    if (!m_holding)
        return true;
    m_holding = false;
    CodeRowEntry merged = m_head;
    merged.bytes = m_bytes;
    return m_handOn(merged);
}

bool LineGroupWriter::closedBy(qint64 nowMsecs) const
{
    line_grouping::Facts next{Link::Serial, nowMsecs, 1, 'x', 'x'};
    return !line_grouping::joins(m_last, next) &&
           !line_grouping::joins(m_last, {Link::Serial, nowMsecs, 1, '\n', '\n'});
}

SessionSource groupedByLine(SessionSource rows)
{
    // The number of shown rows is not known before they are read: the save's progress counts
    // the record's rows.
    const qint64 count = rows.rowCount;
    return {count, [rows = std::move(rows)](const std::function<bool(const CodeRowEntry&)>& visit) {
                LineGroupWriter grouped(visit);
                if (rows.forEachRow && !rows.forEachRow([&grouped](const CodeRowEntry& row) {
                        return grouped.add(row);
                    }))
                    return false;
                return grouped.flush();
            }};
}
