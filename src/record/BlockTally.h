#pragma once

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>

namespace record_detail {

// What one record's blocks cost, counted as it changes, on the window's thread and on the
// compressor's: the bytes held in memory (compressed blocks as compressed) and the backlog, the
// bytes of sealed blocks that still wait for the compressor, uncompressed.
//
// The record may ask to be woken once the backlog has come down to a mark: the compressor's
// thread then calls the record's wake function, once.
class BlockTally {
public:
    void addHeld(qint64 bytes) { m_held.fetch_add(bytes); }
    qint64 held() const { return m_held.load(); }
    void addBacklog(qint64 bytes)
    {
        const qint64 now = m_backlog.fetch_add(bytes) + bytes;
        qint64 peak = m_peak.load();
        while (now > peak && !m_peak.compare_exchange_weak(peak, now)) {
        }
    }
    qint64 backlog() const { return m_backlog.load(); }
    // The most the backlog held since the last call: a long write may pass a bound and the
    // compressor bring it back under before the write ends. Starts again from now.
    qint64 takePeak()
    {
        const qint64 now = m_backlog.load();
        return std::max(m_peak.exchange(now), now);
    }

    // A sealed block of rawBytes, counted in the backlog, is now held in heldBytes.
    void compressed(qint64 rawBytes, qint64 heldBytes);

    // What runs when the backlog comes down to the mark asked for; empty: nothing.
    void setWake(std::function<void()> wake);
    // Arms the wake for the first time the backlog is at most mark. Returns false, arming
    // nothing, when it already is.
    bool wakeAtOrBelow(qint64 mark);

private:
    std::atomic<qint64> m_held{0};
    std::atomic<qint64> m_backlog{0};
    std::atomic<qint64> m_peak{0};
    std::atomic<qint64> m_mark{0};
    std::atomic<bool> m_armed{false};
    std::mutex m_wakeMutex;
    std::function<void()> m_wake;
};

} // namespace record_detail
