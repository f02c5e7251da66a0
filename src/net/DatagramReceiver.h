#pragma once

#include "net/DatagramSocket.h"

#include <QObject>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Drains a bound UDP socket's descriptor on a thread of its own (POSIX; recvmmsg on Linux):
// the native reading of DatagramSocket. Sending, binding and closing stay with the socket's
// owner; this only reads. Past DatagramSocket::kMaxWaitingBytes the thread stops reading until
// the window catches up.
class DatagramReceiver : public QObject {
    Q_OBJECT

public:
    using Datagram = DatagramSocket::Datagram;

    // Starts reading descriptor, which must stay open until this object is gone.
    explicit DatagramReceiver(qintptr descriptor, QObject* parent = nullptr);
    ~DatagramReceiver() override;

    // Moves up to max waiting datagrams, oldest first, into out.
    void take(std::deque<Datagram>& out, std::size_t max);
    bool hasWaiting() const;

signals:
    // Datagrams wait where none did before. Delivered on this object's thread.
    void datagramsArrived();

private:
    void run(int descriptor);

    mutable std::mutex m_mutex;
    std::condition_variable m_roomAgain;
    std::deque<Datagram> m_waiting;
    qint64 m_waitingBytes = 0;
    bool m_stop = false;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
};
