#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <deque>
#include <memory>

// A bound UDP socket whose datagrams are read off the window's thread. A burst then waits in
// memory instead of overflowing the kernel's receive buffer while the window is busy, and is
// handed to the window's thread whole and in arrival order. Sending and closing are the
// window's; only reading happens elsewhere.
//
// Two ways to read, chosen when the program is built: on POSIX a thread of its own drains the
// descriptor (DatagramReceiver: recvmmsg on Linux, many datagrams per system call); elsewhere,
// and in the portable build, Qt's own QUdpSocket lives on a QThread of its own
// (ThreadedDatagramSocket). docs/PERFORMANCE.md compares them.
//
// Memory is bounded: past kMaxWaitingBytes reading stops until the window catches up (the
// kernel's buffer then takes the overflow, as it would without the thread).
class DatagramSocket : public QObject {
    Q_OBJECT

public:
    struct Datagram {
        QByteArray data;
        QHostAddress sender;
    };
    // Why the system refused a bind or a send.
    struct Failure {
        QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;
        QString text;
    };

    static constexpr qint64 kMaxWaitingBytes = qint64(256) << 20;
    // The largest datagram read: anything IPv4 or IPv6 carries without jumbograms.
    static constexpr qint64 kLargestDatagram = 65'536;

    // Binds to port on every interface (0: a port the system picks), asks the system for a
    // receive buffer of receiveBuffer bytes, and starts receiving. Null, with failure said,
    // when the system refuses the port.
    static std::unique_ptr<DatagramSocket> bind(quint16 port, QAbstractSocket::BindMode mode,
                                                int receiveBuffer, Failure& failure);

    virtual quint16 localPort() const = 0;
    // Sends one datagram; false, with failure said, when the system refused it.
    virtual bool send(const QByteArray& bytes, const QHostAddress& to, quint16 port,
                      Failure& failure) = 0;
    // Moves up to max waiting datagrams, oldest first, into out.
    virtual void take(std::deque<Datagram>& out, std::size_t max) = 0;
    virtual bool hasWaiting() const = 0;
    // Stops reading and frees the port at once; safe inside one of this socket's own signals.
    virtual void close() = 0;

signals:
    // Datagrams wait where none did before. May be emitted on the reading thread.
    void datagramsArrived();
    // A failure the socket met on its own, with the system's words for it.
    void errorOccurred(QAbstractSocket::SocketError error, const QString& text);

protected:
    using QObject::QObject;
};

// The two ways of reading; DatagramSocket::bind picks one.
std::unique_ptr<DatagramSocket> bindThreadedDatagramSocket(quint16 port,
                                                           QAbstractSocket::BindMode mode,
                                                           int receiveBuffer,
                                                           DatagramSocket::Failure& failure);
std::unique_ptr<DatagramSocket> bindNativeDatagramSocket(quint16 port,
                                                         QAbstractSocket::BindMode mode,
                                                         int receiveBuffer,
                                                         DatagramSocket::Failure& failure);
