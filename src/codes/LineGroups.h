#pragma once

#include "codes/CodeRows.h"
#include "codes/LineGrouping.h"

#include <utility>
#include <vector>

// Where the shown rows begin in the record when serial rows are grouped by line, over the
// record's rows from a first row on. It keeps no entry per row: only the first record row of
// every kCheckpointEvery-th shown row; a shown row is found from the checkpoint before it by
// reading the rows between (grouping needs nothing but two neighbouring rows), and the last
// one found is remembered, as a view asks for neighbouring rows in turn.
class LineGroups {
public:
    static constexpr qint64 kCheckpointEvery = 64;

    LineGroups(const CodeRows& rows, qint64 firstRow);

    // Reads up to maxRows more of the record's rows. Returns whether the newest shown row took
    // more rows.
    bool scan(qint64 maxRows);
    bool scannedAll() const { return m_scanned >= m_rows.count(); }
    // Shown rows so far.
    qint64 count() const { return m_count; }
    // The record rows [first, second) that shown row `shown` is made of.
    std::pair<qint64, qint64> rowsOf(qint64 shown) const;

private:
    line_grouping::Facts factsAt(qint64 row) const;

    const CodeRows& m_rows;
    qint64 m_scanned;
    qint64 m_count = 0;
    line_grouping::Facts m_last;
    std::vector<qint64> m_checkpoints;
    mutable qint64 m_cursorShown = -1;
    mutable qint64 m_cursorRow = 0;
};
