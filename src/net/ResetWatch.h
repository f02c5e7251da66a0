#pragma once

#include <QtGlobal>

// Whether a peer that left reset the connection or closed it. Qt reports both as
// RemoteHostClosedError (it reads a reset as the end of the stream); Linux still tells them
// apart through a second descriptor of the connection: after a reset the system has closed the
// connection outright, after an orderly goodbye it waits for this side to close too. Elsewhere,
// and in the portable build, there is no second descriptor and every leaving is a close.
class ResetWatch {
public:
    ResetWatch() = default;
    ~ResetWatch() { stop(); }
    ResetWatch(const ResetWatch&) = delete;
    ResetWatch& operator=(const ResetWatch&) = delete;

    // Starts watching the connection with this descriptor (-1: none yet).
    void watch(qintptr descriptor);
    bool isWatching() const { return m_watch >= 0; }
    // Stops watching; without the second descriptor this side's own close goes out at once.
    void stop();
    // Asked once the peer has gone.
    bool wasReset() const;

private:
    int m_watch = -1;
};
