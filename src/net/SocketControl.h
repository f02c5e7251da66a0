#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringView>

#include <cstdint>

// What the endpoints need of a socket: one object that is, by turns, a TCP listener, a TCP
// connection or a UDP endpoint, with the properties, methods and events the handlers use.
//
// A refused method call or property write throws ControlError with a Spanish description.
// Failures that happen later, on the network, come as errorOccurred. Close() is always safe:
// on a socket never opened, twice in a row, or from inside one of its own events, and it never
// raises peerClosed. Received text stays in its single-byte form: GetData returns the bytes.
//
// A UDP SendData to a host name that only a name server knows returns before the datagram goes
// out: it waits for the name, and its outcome comes later, in the order of the sends, as
// datagramSent or datagramRefused. Close drops the datagrams still waiting, unsent and untold.
//
// stateChanged is raised whenever what state() reads has changed, by a method or on the
// network, for whoever shows it; handlers have the other events.
class SocketControl : public QObject {
    Q_OBJECT

public:
    enum Protocol : std::int32_t { Tcp = 0, Udp = 1 };
    // The values State reads, numbered as the operators' socket control numbers them.
    enum SocketState : std::int16_t {
        Closed = 0,
        Open = 1,
        Listening = 2,
        ResolvingHost = 4,
        Connecting = 6,
        Connected = 7,
        Closing = 8,
        Failed = 9,
    };

    using QObject::QObject;

    virtual std::int32_t protocol() const = 0;
    virtual void setProtocol(Protocol protocol) = 0;
    virtual std::int32_t localPort() const = 0;
    virtual void setLocalPort(std::int32_t port) = 0;
    virtual QString remoteHost() const = 0;
    virtual void setRemoteHost(const QString& host) = 0;
    virtual std::int32_t remotePort() const = 0;
    virtual void setRemotePort(std::int32_t port) = 0;
    virtual QString remoteHostIP() const = 0;
    virtual std::int16_t state() const = 0;

    virtual void Close() = 0;
    virtual void Listen() = 0;
    virtual void Accept(std::int32_t requestID) = 0;
    virtual void Connect() = 0;
    virtual void SendData(QStringView text) = 0;
    virtual QByteArray GetData() = 0;
    virtual void Bind(QStringView portText) = 0;
    // UDP: how many sent datagrams still wait for their host name.
    virtual int datagramsWaiting() const = 0;

    // TCP: while held, nothing more is read from the connection and no dataArrival is raised;
    // what the peer sends waits in the system, where TCP's own flow control holds the peer
    // back, and is told once reading is released. A connection that ends meanwhile still tells
    // every byte before its close. Datagrams cannot wait and are never held. Not a handler's
    // business: the window holds its sockets while the session record cannot keep up.
    virtual void setReadingHeld(bool held) = 0;

signals:
    void connectionRequest(std::int32_t requestID);
    void connected();
    void dataArrival(std::int32_t bytesTotal);
    void peerClosed();
    void errorOccurred(std::int16_t number, const QString& description);
    void datagramSent();
    void datagramRefused(const QString& description);
    void stateChanged();
};
