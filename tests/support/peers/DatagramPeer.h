#pragma once

#include "support/peers/PeerFailure.h"
#include "support/peers/PeerStream.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class WakePipe;

// A UDP peer on 127.0.0.1, on a thread of its own: sends datagrams cut from its stream to one
// port, as fast as its socket takes them, and keeps every datagram that arrives on its own
// port, in order.
class DatagramPeer {
public:
    DatagramPeer(std::uint16_t target, PeerStream stream);
    ~DatagramPeer();
    DatagramPeer(const DatagramPeer&) = delete;
    DatagramPeer& operator=(const DatagramPeer&) = delete;

    std::uint16_t port() const { return m_port; }
    // Datagrams of these sizes, each the next bytes of the stream (the first starts at 0).
    // Called from the test's thread.
    void send(const std::vector<int>& sizes);

    qint64 sentCount() const { return m_sent.load(); }
    // From the first datagram sent to the last: how fast this side could send.
    double sendingSeconds() const;
    qint64 receivedCount() const { return m_receivedCount.load(); }
    std::vector<QByteArray> received() const;
    QString failure() const { return m_failure.get(); }

private:
    void run();

    int m_fd = -1;
    std::uint16_t m_port = 0;
    std::uint16_t m_target;
    PeerStream m_stream;
    std::atomic<qint64> m_sent{0};
    std::atomic<qint64> m_firstSentNs{0};
    std::atomic<qint64> m_lastSentNs{0};
    std::atomic<qint64> m_receivedCount{0};
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::deque<int> m_queued;
    std::vector<QByteArray> m_received;
    PeerFailure m_failure;
    std::unique_ptr<WakePipe> m_wake;
    std::thread m_thread;
};
