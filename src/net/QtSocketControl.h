#pragma once

#include "net/DatagramSocket.h"
#include "net/HostNames.h"
#include "net/ResetWatch.h"
#include "net/SocketControl.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <map>
#include <memory>

class QTcpServer;
class QTcpSocket;

// SocketControl on Qt Network: QTcpServer to listen, QTcpSocket for the one connection,
// a DatagramSocket (QUdpSocket, read off the window's thread) for datagrams.
//
// Listening is on every interface, IPv4 and IPv6. A connection request is taken off the
// listener before connectionRequest is raised, so that closing the listener in the handler
// (which is what refuses further peers) cannot lose it, nor any byte the peer sent before it
// is accepted; a request the handler does not accept is dropped when the handler returns.
// Connecting and resolving host names never block: the outcome comes as an event. Names the
// machine knows by itself (an IP address, "localhost", the hosts file) cost no wait; a name
// server is asked about the others, and a datagram waits on its answer at most
// kLookupTimeoutMs.
class QtSocketControl final : public SocketControl {
    Q_OBJECT

public:
    // How long a TCP connection attempt may stay unanswered before it is given up; also how
    // long the bytes still unsent when a connection is closed may take to reach the peer
    // before the connection is dropped with them.
    static constexpr int kConnectTimeoutMs = 30'000;
    // The most a TCP connection hands over in one DataArrival.
    static constexpr qint64 kReadChunk = 1024 * 1024;
    // The largest UDP payload IPv4 can carry.
    static constexpr qsizetype kMaxDatagram = 65'507;
    // A turn of the event loop tells at most this many datagrams, and stops sooner once it
    // has taken kDatagramTurnMs, so that a flood leaves room for the operator and the other
    // links.
    static constexpr int kDatagramsPerTurn = 512;
    static constexpr int kDatagramTurnMs = 8;
    static constexpr int kKernelReceiveBuffer = 8 << 20;
    // How long a datagram waits on a name server for its host's address before it is refused.
    static constexpr int kLookupTimeoutMs = 4'000;

    explicit QtSocketControl(QObject* parent = nullptr);
    ~QtSocketControl() override;

    std::int32_t protocol() const override { return m_protocol; }
    void setProtocol(Protocol protocol) override;
    std::int32_t localPort() const override { return m_localPort; }
    void setLocalPort(std::int32_t port) override;
    QString remoteHost() const override { return m_remoteHost; }
    void setRemoteHost(const QString& host) override { m_remoteHost = host; }
    std::int32_t remotePort() const override { return m_remotePort; }
    void setRemotePort(std::int32_t port) override;
    QString remoteHostIP() const override;
    std::int16_t state() const override;

    void Close() override;
    void Listen() override;
    void Accept(std::int32_t requestID) override;
    void Connect() override;
    void SendData(QStringView text) override;
    QByteArray GetData() override;
    void Bind(QStringView portText) override;
    int datagramsWaiting() const override { return int(m_unresolved.size()); }
    void setReadingHeld(bool held) override;

    // Where names are looked up: the system's hosts file and resolver unless set otherwise.
    void setHostsFile(const QString& path) { m_hostsFile = path; }
    void setNameServer(std::unique_ptr<NameServer> nameServer);
    void setLookupTimeout(int milliseconds) { m_lookupTimer.setInterval(milliseconds); }

    // The port actually bound or listened on (useful when the system picked it).
    quint16 boundPort() const;

private:
    struct PendingDatagram {
        QString host;
        quint16 port;
        QByteArray bytes;
    };

    void requireClosed(const QString& operation) const;
    // Raises stateChanged if state() reads otherwise than it last did.
    void tellState();
    void onNewConnection();
    void adopt(QTcpSocket* socket);
    void onReadyRead();
    void tellArrived();
    void onDisconnected();
    void onTcpError(QAbstractSocket::SocketError error);
    void onConnectTimeout();
    // Binds the datagram socket and starts receiving; throws ControlError when refused.
    void startReceiving(quint16 port, QAbstractSocket::BindMode mode);
    void deliverDatagrams();
    void onUdpError(QAbstractSocket::SocketError error, const QString& text);
    void sendDatagram(const QHostAddress& address, quint16 port, const QByteArray& bytes);
    void lookUpNextDatagram();
    void onDatagramHostFound(const QList<QHostAddress>& addresses);
    void onLookupTimeout();
    void finishDatagram(const QList<QHostAddress>& addresses, const QString& failure);
    void releaseConnection();
    QString peerText() const;

    Protocol m_protocol = Tcp;
    std::int32_t m_localPort = 0;
    QString m_remoteHost;
    std::int32_t m_remotePort = 0;

    QTcpServer* m_listener = nullptr;
    QPointer<QTcpSocket> m_connection;
    DatagramSocket* m_udp = nullptr;
    QTimer m_connectTimer;
    bool m_failed = false;
    std::int16_t m_toldState = Closed;
    // Qt's own buffer then fills up to kReadChunk and it stops reading the socket.
    bool m_readingHeld = false;
    // Tells a peer's reset from its close (Linux).
    ResetWatch m_watch;
    bool m_reset = false;

    std::map<std::int32_t, QPointer<QTcpSocket>> m_requests;
    std::int32_t m_nextRequestId = 1;

    // Datagrams taken from m_udp wait here until told, a bounded batch per turn.
    std::deque<DatagramSocket::Datagram> m_received;
    QTimer m_deliverTimer;
    QByteArray m_datagram;
    QHostAddress m_datagramSender;
    // Datagrams whose host name is being looked up, the first one asked about, in order.
    std::deque<PendingDatagram> m_unresolved;
    QString m_hostsFile = systemHostsFile();
    std::unique_ptr<NameServer> m_nameServer = std::make_unique<SystemNameServer>();
    // Runs while the name server is asked.
    QTimer m_lookupTimer;
};
