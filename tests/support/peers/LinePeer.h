#pragma once

#include "support/peers/PeerFailure.h"
#include "support/peers/PeerStream.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

class WakePipe;

// The far end of a byte stream: a connected TCP socket or a pseudo-terminal's master side,
// standing for another program or a device on this machine. It runs on a thread of its own
// with the plain descriptor, so it sends while the window is busy and never waits for any
// event loop: it writes the next bytes of its stream whenever asked, as fast as the link takes
// them, and keeps everything that arrives. It owns the descriptor.
class LinePeer {
public:
    enum class Kind { Socket, Terminal };
    // How the peer ends the link once everything asked for is written.
    enum class Ending {
        // A socket's sending side is shut down; the peer then reads until the other side
        // closes. A terminal just goes on reading.
        HalfClose,
        // The descriptor is closed.
        Close,
        // A socket is closed with a reset: what the system still held for either side is
        // dropped.
        Reset,
    };

    LinePeer(int descriptor, Kind kind, PeerStream stream, qint64 startOffset = 0);
    ~LinePeer();
    LinePeer(const LinePeer&) = delete;
    LinePeer& operator=(const LinePeer&) = delete;

    // Called from the test's thread.
    void send(qint64 size);
    void finish(Ending ending = Ending::HalfClose);
    // Where the stream stands once everything asked for is written.
    qint64 endOffset() const { return m_start + m_asked; }

    qint64 written() const { return m_written.load(); }
    // Everything asked for is written and the other side's system has acknowledged it (a
    // socket's send queue is empty); the other side need not have read it. Until finish().
    bool delivered() const;
    qint64 receivedSize() const { return m_receivedSize.load(); }
    QByteArray received() const;
    // The link has ended (the other side closed, or the peer did as told) and the peer's
    // thread has stopped.
    bool ended() const { return m_ended.load(); }
    QString failure() const { return m_failure.get(); }

private:
    void run();
    // Ends the link as told; false when the peer goes on reading.
    bool end();

    std::atomic<int> m_fd;
    Kind m_kind;
    PeerStream m_stream;
    qint64 m_start;
    qint64 m_asked = 0;
    std::atomic<qint64> m_target;
    std::atomic<qint64> m_written{0};
    std::atomic<qint64> m_receivedSize{0};
    std::atomic<bool> m_finish{false};
    std::atomic<Ending> m_ending{Ending::HalfClose};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_ended{false};
    mutable std::mutex m_mutex;
    QByteArray m_received;
    PeerFailure m_failure;
    std::unique_ptr<WakePipe> m_wake;
    std::thread m_thread;
};
