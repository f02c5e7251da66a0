#pragma once

#include <QString>

#include <netinet/in.h>

#include <cstdint>

// What the peers share below their classes: plain sockets on 127.0.0.1 and a way to wake a
// peer's thread out of poll().

sockaddr_in loopbackAddress(std::uint16_t port);
// The port a socket is bound to, or 0.
std::uint16_t boundPort(int fd);
// "what: the system's reason".
QString systemError(const char* what, int error);

// A non-blocking pipe: the peer's thread polls readEnd(); any thread may wake() it.
class WakePipe {
public:
    WakePipe();
    ~WakePipe();
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;

    int readEnd() const { return m_ends[0]; }
    void wake() const;
    // Empties the pipe, once the wake-up is seen.
    void drain() const;

private:
    int m_ends[2] = {-1, -1};
};
