#pragma once

#include <QtGlobal>

#include <cstdint>

// Ports and plain sockets on this machine's loopback, for the peers and whoever sets them up.

// A port nothing listens on right now, found by letting the system pick one.
quint16 freeTcpPort();
quint16 freeUdpPort();

// A connected TCP socket to 127.0.0.1:port (trickles go out as the small pieces they are), or
// -1. Blocking: on loopback the system completes the handshake without the listener's help.
int connectToLoopback(std::uint16_t port);

// A listening TCP socket on 127.0.0.1 that connections are taken from without blocking.
class LoopbackListener {
public:
    // backlog: how many connections the system completes before any is taken; beyond them,
    // handshakes are dropped and a connect hangs.
    explicit LoopbackListener(int backlog = 4);
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
