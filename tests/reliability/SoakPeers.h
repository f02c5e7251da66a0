#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The peers of the soak: each stands for another program or device on this machine and runs
// on a thread of its own with plain descriptors, so it sends while the window is busy and never
// waits for the window's event loop.

// What a peer sends: an endless byte stream, the same for the same seed, readable from any
// offset, so that nobody has to keep what was sent in order to check what arrived. It mixes
// every byte value: random runs, ascending runs through all 256 codes, text lines ended by
// CR LF, lone CRs and LFs, and runs of NUL and 0xFF.
class SoakStream {
public:
    explicit SoakStream(std::uint32_t seed);

    // The bytes at [offset, offset + size).
    void fill(qint64 offset, char* out, qint64 size) const;
    QByteArray bytes(qint64 offset, qint64 size) const;

private:
    std::shared_ptr<const QByteArray> m_pattern;
    qint64 m_shift = 0;
};

// The far end of a byte stream: a connected TCP socket or a pseudo-terminal's master side.
// It writes the next bytes of its stream whenever asked, as fast as the link takes them, and
// keeps everything that arrives. It owns the descriptor.
class LinePeer {
public:
    enum class Kind { Socket, Terminal };

    LinePeer(int descriptor, Kind kind, SoakStream stream, qint64 startOffset);
    ~LinePeer();
    LinePeer(const LinePeer&) = delete;
    LinePeer& operator=(const LinePeer&) = delete;

    // Called from the test's thread.
    void send(qint64 size);
    // Once everything asked for is written, the socket's sending side is shut down; the peer
    // then reads until the window closes the connection.
    void finish();
    // Where the stream stands once everything asked for is written.
    qint64 endOffset() const { return m_start + m_asked; }

    qint64 written() const { return m_written.load(); }
    qint64 receivedSize() const { return m_receivedSize.load(); }
    QByteArray received() const;
    // The other side closed and the peer's thread has stopped.
    bool ended() const { return m_ended.load(); }
    QString failure() const;

private:
    void run();
    void fail(const QString& why);

    int m_fd;
    Kind m_kind;
    SoakStream m_stream;
    qint64 m_start;
    qint64 m_asked = 0;
    std::atomic<qint64> m_target;
    std::atomic<qint64> m_written{0};
    std::atomic<qint64> m_receivedSize{0};
    std::atomic<bool> m_finish{false};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_ended{false};
    mutable std::mutex m_mutex;
    QByteArray m_received;
    QString m_failure;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
};

// A UDP peer on 127.0.0.1: sends datagrams cut from its stream to one port, and keeps every
// datagram that arrives on its own port, in order.
class DatagramPeer {
public:
    DatagramPeer(std::uint16_t target, SoakStream stream);
    ~DatagramPeer();
    DatagramPeer(const DatagramPeer&) = delete;
    DatagramPeer& operator=(const DatagramPeer&) = delete;

    std::uint16_t port() const { return m_port; }
    // Datagrams of these sizes, each the next bytes of the stream. Called from the test's
    // thread.
    void send(const std::vector<int>& sizes);

    qint64 sentCount() const { return m_sent.load(); }
    qint64 receivedCount() const { return m_receivedCount.load(); }
    std::vector<QByteArray> received() const;
    QString failure() const;

private:
    void run();
    void fail(const QString& why);

    int m_fd = -1;
    std::uint16_t m_port = 0;
    std::uint16_t m_target;
    SoakStream m_stream;
    std::atomic<qint64> m_sent{0};
    std::atomic<qint64> m_receivedCount{0};
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::deque<int> m_queued;
    std::vector<QByteArray> m_received;
    QString m_failure;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
};

// A connected TCP socket to 127.0.0.1:port, or -1.
int connectToLoopback(std::uint16_t port);

// A listening TCP socket on 127.0.0.1 that the test accepts from without blocking.
class LoopbackListener {
public:
    LoopbackListener();
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    std::uint16_t port() const { return m_port; }
    // A connection waiting to be taken, or -1.
    int take();

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};
