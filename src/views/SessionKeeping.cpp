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
    m_writers.push_back({m_nextId, fromRow, upTo, false});
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
    const Mark keptNow = reach(false);
    if (keptNow.rows == 0)
        return;
    std::erase_if(m_writers,
                  [&keptNow](const Writer& w) { return w.done && w.upTo.rows <= keptNow.rows; });
    m_writers.push_back({m_nextId++, 0, keptNow, true});
}

SessionKeeping::Mark SessionKeeping::reach(bool countWorking) const
{
    Mark reached;
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
    const Mark kept = reach(true);
    const qint64 rows = m_record.codeRowCount() - kept.rows;
    if (rows <= 0)
        return {};
    return {m_record.codeRowBytesTotal() - kept.bytes, rows, m_record.codeRowTime(kept.rows)};
}
