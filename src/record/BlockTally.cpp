#include "record/BlockTally.h"

namespace record_detail {

void BlockTally::compressed(qint64 rawBytes, qint64 heldBytes)
{
    m_held.fetch_add(heldBytes - rawBytes);
    const qint64 left = m_backlog.fetch_sub(rawBytes) - rawBytes;
    // Whichever of this thread and wakeAtOrBelow takes the armed flag acts on it: every
    // operation is sequentially consistent, so one of them sees the other's write.
    if (left <= m_mark.load() && m_armed.exchange(false)) {
        const std::lock_guard lock(m_wakeMutex);
        if (m_wake)
            m_wake();
    }
}

void BlockTally::setWake(std::function<void()> wake)
{
    const std::lock_guard lock(m_wakeMutex);
    m_wake = std::move(wake);
}

bool BlockTally::wakeAtOrBelow(qint64 mark)
{
    m_mark.store(mark);
    m_armed.store(true);
    if (m_backlog.load() <= mark && m_armed.exchange(false))
        return false;
    // Armed: either still above the mark, or the compressor took the flag and wakes.
    return true;
}

} // namespace record_detail
