#pragma once

#include "net/DatagramReceiver.h"
#include "net/SocketControl.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <map>
#include <memory>

class QHostInfo;
class QTcpServer;
class QTcpSocket;
class QUdpSocket;

// SocketControl on Qt Network: QTcpServer to listen, QTcpSocket for the one connection,
// QUdpSocket for datagrams.
//
// Listening is on every interface, IPv4 and IPv6. A connection request is taken off the
// listener before connectionRequest is raised, so that closing the listener in the handler
// (which is what refuses further peers) cannot lose it, nor any byte the peer sent before it
// is accepted; a request the handler does not accept is dropped when the handler returns.
// Connecting and resolving host names never block: the outcome comes as an event.
class QtSocketControl final : public SocketControl {
    Q_OBJECT

public:
    // How long a TCP connection attempt may stay unanswered before it is given up.
    static constexpr int kConnectTimeoutMs = 30'000;
    // The most a TCP connection hands over in one DataArrival.
    static constexpr qint64 kReadChunk = 1024 * 1024;
    // The largest UDP payload IPv4 can carry.
    static constexpr qsizetype kMaxDatagram = 65'507;
    // At most this many datagrams are told per turn of the event loop, so that a flood leaves
    // room for the operator and the other links.
    static constexpr int kDatagramsPerTurn = 512;
    static constexpr int kKernelReceiveBuffer = 8 << 20;

    explicit QtSocketControl(QObject* parent = nullptr);
    ~QtSocketControl() override;

    std::int32_t protocol() const override { return m_protocol; }
    void setProtocol(std::int32_t protocol) override;
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

    // The port actually bound or listened on (useful when the system picked it).
    quint16 boundPort() const;

private:
    struct PendingDatagram {
        QString host;
        quint16 port;
        QByteArray bytes;
    };

    void requireClosed(const QString& operation) const;
    void onNewConnection();
    void adopt(QTcpSocket* socket);
    void onReadyRead();
    void onDisconnected();
    void onTcpError(QAbstractSocket::SocketError error);
    void onConnectTimeout();
    void startReceiving();
    void deliverDatagrams();
    void onUdpError(QAbstractSocket::SocketError error);
    void sendDatagram(const QHostAddress& address, quint16 port, const QByteArray& bytes);
    void resolveNextDatagram();
    void onDatagramHostResolved(const QHostInfo& info);
    void releaseConnection();
    bool peerReset() const;
    QString peerText() const;

    std::int32_t m_protocol = Tcp;
    std::int32_t m_localPort = 0;
    QString m_remoteHost;
    std::int32_t m_remotePort = 0;

    QTcpServer* m_listener = nullptr;
    QPointer<QTcpSocket> m_connection;
    QUdpSocket* m_udp = nullptr;
    QTimer m_connectTimer;
    bool m_failed = false;
    // A second descriptor of the connection, kept so that when the peer goes the system can
    // still be asked how: a reset is reported as an error, a close as a close.
    int m_watch = -1;
    bool m_reset = false;

    std::map<std::int32_t, QPointer<QTcpSocket>> m_requests;
    std::int32_t m_nextRequestId = 1;

    // Where the system allows, datagrams are drained by a thread of their own (see
    // DatagramReceiver); they wait in m_received until told, a bounded batch per turn.
    std::unique_ptr<DatagramReceiver> m_receiver;
    std::deque<DatagramReceiver::Datagram> m_received;
    QTimer m_deliverTimer;
    QByteArray m_datagram;
    QHostAddress m_datagramSender;
    std::deque<PendingDatagram> m_unresolved;
    int m_lookupId = -1;
};
