#pragma once

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

// Peers that stand for another program on this machine: each runs on a thread of its own with
// plain blocking sockets, so its sending never waits for the window's event loop.

// Fills a piece of the stream: (offset in the stream, piece to fill).
using StreamFiller = std::function<void(std::int64_t, QByteArray&)>;

// Connects to 127.0.0.1:port, waits for start(), then writes size bytes made by fill, in 64 KB
// pieces, and closes. The stream is made as it is sent, so the peer holds none of it.
class TcpFloodPeer {
public:
    TcpFloodPeer(std::uint16_t port, std::int64_t size, StreamFiller fill);
    ~TcpFloodPeer();

    bool connected() const { return m_connected.load(); }
    void start() { m_go.store(true); }
    bool failed() const { return m_failed.load(); }

private:
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_go{false};
    std::atomic<bool> m_failed{false};
    std::thread m_thread;
};

// Sends count datagrams of size bytes each to 127.0.0.1:port as fast as the socket takes them.
class UdpFloodPeer {
public:
    UdpFloodPeer(std::uint16_t port, int count, int size);
    ~UdpFloodPeer();

    bool done() const { return m_done.load(); }
    int sent() const { return m_sent.load(); }
    // How long the sending took, once done.
    double seconds() const { return m_seconds.load(); }

private:
    std::atomic<bool> m_done{false};
    std::atomic<int> m_sent{0};
    std::atomic<double> m_seconds{0};
    std::thread m_thread;
};

// Writes data to a file descriptor (a pseudo-terminal's master side) as fast as it takes it.
class FdWriterPeer {
public:
    FdWriterPeer(int fd, QByteArray data);
    ~FdWriterPeer();

    bool done() const { return m_done.load(); }

private:
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};
