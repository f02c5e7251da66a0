#pragma once

#include <QtGlobal>

#include <utility>
#include <vector>

// Which of a log pane's bytes were sent rather than received: the local echo of what a link
// sent, which the pane draws in a colour of its own and tells screen readers apart. Positions
// are the pane's (from where it begins since its last "Limpiar"); runs are added in the order
// the pane grows, each after the last.
//
// What it deliberately does not do: hold any of the bytes. They are the pane's, in the session
// record, kept once; here is only where each run of them lies.
class SentRanges {
public:
    using Range = std::pair<qint64, qint64>; // [first, end)

    // Bytes [from, to) of the pane were sent. A run that continues the last one joins it.
    void add(qint64 from, qint64 to);
    // "Limpiar": the pane starts again from position 0.
    void clear() { m_ranges.clear(); }
    bool isEmpty() const { return m_ranges.empty(); }

    // The sent runs overlapping [from, to), cut to it, in order.
    std::vector<Range> within(qint64 from, qint64 to) const;
    // The run of like bytes around a position: where it begins and ends, and whether those
    // bytes were sent. Past the last run, the received run reaches to `end`.
    struct Run {
        qint64 from = 0;
        qint64 to = 0;
        bool sent = false;
    };
    Run runAt(qint64 position, qint64 end) const;

private:
    std::vector<Range> m_ranges;
};
