#include "views/SessionKeeping.h"

#include "record/SessionRecord.h"

#include <algorithm>

SessionKeeping::SessionKeeping(const SessionRecord& record)
    : m_record(record)
{
}

SessionKeeping::Mark SessionKeeping::now() const
{
    return {m_record.codeRowCount(), m_record.codeRowBytesTotal()};
}

int SessionKeeping::startWriting(qint64 fromRow, Mark upTo)
{
    m_writers.push_back({m_nextId, fromRow, upTo, false, fromRow == 0 ? 0 : -1});
    return m_nextId++;
}

int SessionKeeping::startWriting(Mark from, Mark upTo)
{
    m_writers.push_back({m_nextId, from.rows, upTo, false, from.bytes});
    return m_nextId++;
}

void SessionKeeping::advance(int writer, Mark upTo)
{
    for (Writer& w : m_writers) {
        if (w.id == writer && upTo.rows > w.upTo.rows)
            w.upTo = upTo;
    }
}

void SessionKeeping::finish(int writer, bool kept)
{
    const auto found = std::find_if(m_writers.begin(), m_writers.end(),
                                    [writer](const Writer& w) { return w.id == writer; });
    if (found == m_writers.end())
        return;
    if (!kept) {
        m_writers.erase(found);
        return;
    }
    found->done = true;
    // What finished writers keep from the first row on is one mark; they need not be
    // remembered one by one.
    const Mark keptNow = reach(false, Mark{});
    if (keptNow.rows == 0)
        return;
    std::erase_if(m_writers,
                  [&keptNow](const Writer& w) { return w.done && w.upTo.rows <= keptNow.rows; });
    m_writers.push_back({m_nextId++, 0, keptNow, true});
}

SessionKeeping::Mark SessionKeeping::reach(bool countWorking, Mark from) const
{
    Mark reached = from;
    for (bool grew = true; grew;) {
        grew = false;
        for (const Writer& w : m_writers) {
            if ((w.done || countWorking) && w.fromRow <= reached.rows &&
                w.upTo.rows > reached.rows) {
                reached = w.upTo;
                grew = true;
            }
        }
    }
    return reached;
}

SessionKeeping::Unkept SessionKeeping::unkept() const
{
    const Mark end = now();
    Unkept unkept;
    // Kept stretches one after the other; a gap is counted up to the next writer that knows
    // where it starts, and the rest counts as not kept once none does.
    for (Mark kept = reach(true, Mark{}); kept.rows < end.rows;) {
        const Writer* next = nullptr;
        for (const Writer& w : m_writers) {
            if (w.fromRow > kept.rows && w.fromBytes >= 0 && w.upTo.rows > w.fromRow &&
                (!next || w.fromRow < next->fromRow))
                next = &w;
        }
        const Mark gapEnd = next ? Mark{next->fromRow, next->fromBytes} : end;
        if (unkept.rows == 0)
            unkept.sinceMsecs = m_record.codeRowTime(kept.rows);
        unkept.rows += gapEnd.rows - kept.rows;
        unkept.bytes += gapEnd.bytes - kept.bytes;
        if (!next)
            break;
        kept = reach(true, gapEnd);
    }
    return unkept;
}
