#include "net/QtSocketControl.h"

#include "base/ControlError.h"
#include "base/DecimalDigits.h"
#include "base/SingleByteCodec.h"
#include "net/SocketFailures.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

void checkPort(qint64 port)
{
    if (port < 1 || port > 65535) {
        throw ControlError(
            QStringLiteral("El puerto %1 no es válido: debe estar entre 1 y 65535.").arg(port));
    }
}

QString addressText(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

} // namespace

QtSocketControl::QtSocketControl(QObject* parent)
    : SocketControl(parent)
{
    m_connectTimer.setSingleShot(true);
    m_connectTimer.setInterval(kConnectTimeoutMs);
    connect(&m_connectTimer, &QTimer::timeout, this, &QtSocketControl::onConnectTimeout);
    m_deliverTimer.setSingleShot(true);
    m_deliverTimer.setInterval(0);
    connect(&m_deliverTimer, &QTimer::timeout, this, &QtSocketControl::deliverDatagrams);
    m_lookupTimer.setSingleShot(true);
    m_lookupTimer.setInterval(kLookupTimeoutMs);
    connect(&m_lookupTimer, &QTimer::timeout, this, &QtSocketControl::onLookupTimeout);
}

QtSocketControl::~QtSocketControl()
{
    Close();
}

// --- properties --------------------------------------------------------------------------

void QtSocketControl::setProtocol(Protocol protocol)
{
    requireClosed(QStringLiteral("cambiar el protocolo"));
    m_protocol = protocol;
}

void QtSocketControl::setLocalPort(std::int32_t port)
{
    checkPort(port);
    m_localPort = port;
}

void QtSocketControl::setRemotePort(std::int32_t port)
{
    checkPort(port);
    m_remotePort = port;
}

QString QtSocketControl::remoteHostIP() const
{
    if (m_connection)
        return addressText(m_connection->peerAddress());
    if (m_udp)
        return m_datagramSender.isNull() ? QString() : addressText(m_datagramSender);
    return {};
}

std::int16_t QtSocketControl::state() const
{
    if (m_failed)
        return Failed;
    if (m_listener)
        return Listening;
    if (m_udp)
        return Open;
    if (m_connection) {
        switch (m_connection->state()) {
        case QAbstractSocket::HostLookupState:
            return ResolvingHost;
        case QAbstractSocket::ConnectingState:
            return Connecting;
        case QAbstractSocket::ConnectedState:
            return Connected;
        default:
            // The peer has gone, and Close has not been called yet.
            return Closing;
        }
    }
    return Closed;
}

quint16 QtSocketControl::boundPort() const
{
    if (m_listener)
        return m_listener->serverPort();
    if (m_udp)
        return m_udp->localPort();
    if (m_connection)
        return m_connection->localPort();
    return 0;
}

void QtSocketControl::tellState()
{
    const std::int16_t now = state();
    if (std::exchange(m_toldState, now) != now)
        emit stateChanged();
}

void QtSocketControl::requireClosed(const QString& operation) const
{
    if (m_listener || m_connection || m_udp) {
        throw ControlError(QStringLiteral("No se puede %1: el socket está abierto; ciérrelo antes.")
                               .arg(operation));
    }
}

// --- methods -----------------------------------------------------------------------------

void QtSocketControl::Close()
{
    m_failed = false;
    m_connectTimer.stop();
    if (m_listener) {
        m_listener->disconnect(this);
        m_listener->close();
        m_listener->deleteLater();
        m_listener = nullptr;
    }
    releaseConnection();
    m_deliverTimer.stop();
    m_received.clear();
    if (m_udp) {
        m_udp->disconnect(this);
        // The port is free at once; the object goes once its own signal, if any, is over.
        m_udp->close();
        m_udp->deleteLater();
        m_udp = nullptr;
    }
    if (m_lookupTimer.isActive()) {
        m_lookupTimer.stop();
        m_nameServer->forget();
    }
    m_unresolved.clear();
    m_datagram.clear();
    m_datagramSender.clear();
    tellState();
}

void QtSocketControl::releaseConnection()
{
    m_watch.stop();
    m_reset = false;
    if (!m_connection)
        return;
    QTcpSocket* socket = m_connection;
    m_connection = nullptr;
    socket->disconnect(this);
    if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() > 0) {
        // Let what was already handed over reach the peer before the connection ends; a peer
        // that never reads it does not keep the socket for ever.
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(kConnectTimeoutMs, socket, &QAbstractSocket::abort);
        socket->disconnectFromHost();
    } else {
        socket->abort();
        socket->deleteLater();
    }
}

void QtSocketControl::Listen()
{
    if (m_protocol != Tcp)
        throw ControlError(QStringLiteral("No se puede poner a la escucha un socket UDP."));
    requireClosed(QStringLiteral("poner el socket a la escucha"));
    if (m_localPort == 0)
        throw ControlError(QStringLiteral("No se indicó el puerto en el que escuchar."));

    auto* listener = new QTcpServer(this);
    if (!listener->listen(QHostAddress::Any, quint16(m_localPort))) {
        const QString description =
            describe(listener->serverError(), QString(), m_localPort, listener->errorString());
        delete listener;
        throw ControlError(description);
    }
    m_listener = listener;
    connect(listener, &QTcpServer::newConnection, this, &QtSocketControl::onNewConnection);
    tellState();
}

void QtSocketControl::onNewConnection()
{
    while (m_listener && m_listener->hasPendingConnections()) {
        QPointer<QTcpSocket> socket = m_listener->nextPendingConnection();
        socket->setParent(this);
        const std::int32_t id = m_nextRequestId++;
        m_requests[id] = socket;
        emit connectionRequest(id);
        // A request the handler did not accept is turned away now.
        const auto left = m_requests.find(id);
        if (left != m_requests.end()) {
            if (left->second) {
                left->second->abort();
                left->second->deleteLater();
            }
            m_requests.erase(left);
        }
    }
}

void QtSocketControl::Accept(std::int32_t requestID)
{
    const auto request = m_requests.find(requestID);
    if (request == m_requests.end() || !request->second) {
        throw ControlError(
            QStringLiteral("La petición de conexión %1 ya no existe.").arg(requestID));
    }
    if (m_protocol != Tcp)
        throw ControlError(QStringLiteral("Un socket UDP no acepta conexiones."));
    requireClosed(QStringLiteral("aceptar la conexión"));
    QTcpSocket* socket = request->second;
    m_requests.erase(request);
    adopt(socket);
    tellState();
    // What the peer sent before it was accepted, or its leaving, is told after the handler
    // that accepted it has finished.
    QTimer::singleShot(0, this, [this, guard = QPointer<QTcpSocket>(socket)] {
        if (!guard || guard != m_connection)
            return;
        if (guard->bytesAvailable() > 0)
            onReadyRead();
        if (guard && guard == m_connection && guard->state() == QAbstractSocket::UnconnectedState)
            onDisconnected();
    });
}

void QtSocketControl::adopt(QTcpSocket* socket)
{
    m_connection = socket;
    m_reset = false;
    m_watch.watch(socket->socketDescriptor());
    // A flood is taken in bounded chunks: each turn of the event loop handles at most this
    // much, and the rest waits in the kernel, where TCP's flow control holds the peer back.
    socket->setReadBufferSize(kReadChunk);
    connect(socket, &QIODevice::readyRead, this, &QtSocketControl::onReadyRead);
    connect(socket, &QAbstractSocket::disconnected, this, &QtSocketControl::onDisconnected);
    connect(socket, &QAbstractSocket::errorOccurred, this, &QtSocketControl::onTcpError);
    connect(socket, &QAbstractSocket::stateChanged, this, &QtSocketControl::tellState);
}

void QtSocketControl::Connect()
{
    if (m_protocol != Tcp)
        throw ControlError(
            QStringLiteral("Un socket UDP no se conecta: envíe los datagramas directamente."));
    requireClosed(QStringLiteral("conectar"));
    checkHostText(m_remoteHost);
    if (m_remotePort == 0)
        throw ControlError(QStringLiteral("No se indicó el puerto remoto."));

    auto* socket = new QTcpSocket(this);
    adopt(socket);
    connect(socket, &QAbstractSocket::connected, this, [this, socket] {
        m_connectTimer.stop();
        if (!m_watch.isWatching())
            m_watch.watch(socket->socketDescriptor());
        emit connected();
    });
    m_connectTimer.start();
    const QList<QHostAddress> known = knownAddresses(m_remoteHost, m_hostsFile);
    if (!known.isEmpty())
        socket->connectToHost(preferredAddress(known), quint16(m_remotePort));
    else
        socket->connectToHost(m_remoteHost, quint16(m_remotePort));
    tellState();
}

void QtSocketControl::onConnectTimeout()
{
    if (!m_connection || m_connection->state() == QAbstractSocket::ConnectedState)
        return;
    m_connection->disconnect(this);
    m_connection->abort();
    m_failed = true;
    tellState();
    emit errorOccurred(errorNumber(QAbstractSocket::SocketTimeoutError),
                       QStringLiteral("El equipo %1 no respondió en el puerto %2 en %3 segundos.")
                           .arg(m_remoteHost, QString::number(m_remotePort),
                                QString::number(kConnectTimeoutMs / 1000)));
}

void QtSocketControl::SendData(QStringView text)
{
    const QByteArray bytes = SingleByteCodec::toBytes(text);
    if (m_protocol == Tcp) {
        if (!m_connection || m_connection->state() != QAbstractSocket::ConnectedState) {
            throw ControlError(
                QStringLiteral("No hay ninguna conexión establecida: no hay a quién enviar."));
        }
        if (m_connection->write(bytes) != bytes.size()) {
            throw ControlError(describe(m_connection->error(), peerText(), m_connection->peerPort(),
                                        m_connection->errorString()));
        }
        return;
    }

    if (m_remoteHost.isEmpty() || m_remotePort == 0) {
        throw ControlError(QStringLiteral("No hay equipo ni puerto remotos a los que enviar el "
                                          "datagrama: nada está conectado en este socket."));
    }
    checkHostText(m_remoteHost);
    if (bytes.size() > kMaxDatagram) {
        throw ControlError(QStringLiteral("El datagrama de %1 bytes supera el máximo de %2 bytes.")
                               .arg(bytes.size())
                               .arg(kMaxDatagram));
    }
    if (!m_udp) {
        // Sending from an unbound socket binds it to a port the system picks, so that replies
        // come back to it.
        startReceiving(0, QAbstractSocket::DefaultForPlatform);
    }
    if (m_unresolved.empty()) {
        const QList<QHostAddress> known = knownAddresses(m_remoteHost, m_hostsFile);
        if (!known.isEmpty()) {
            sendDatagram(preferredAddress(known), quint16(m_remotePort), bytes);
            return;
        }
    }
    // A name only a name server knows, or a datagram behind one: it waits, and goes out in
    // order once its host is known.
    m_unresolved.push_back({m_remoteHost, quint16(m_remotePort), bytes});
    lookUpNextDatagram();
}

void QtSocketControl::setNameServer(std::unique_ptr<NameServer> nameServer)
{
    if (m_lookupTimer.isActive()) {
        m_lookupTimer.stop();
        m_nameServer->forget();
    }
    m_nameServer = std::move(nameServer);
}

void QtSocketControl::sendDatagram(const QHostAddress& address, quint16 port,
                                   const QByteArray& bytes)
{
    DatagramSocket::Failure failure;
    if (!m_udp->send(bytes, address, port, failure))
        throw ControlError(describe(failure.error, addressText(address), port, failure.text));
}

// Sends the waiting datagrams in order, each as soon as its host is known; asks the name
// server about the first name the machine does not know, and stops there until it answers.
void QtSocketControl::lookUpNextDatagram()
{
    while (m_udp && !m_unresolved.empty() && !m_lookupTimer.isActive()) {
        const QString host = m_unresolved.front().host;
        const QList<QHostAddress> known = knownAddresses(host, m_hostsFile);
        if (known.isEmpty()) {
            m_lookupTimer.start();
            m_nameServer->ask(
                host, [this](const QList<QHostAddress>& found) { onDatagramHostFound(found); });
            return;
        }
        finishDatagram(known, {});
    }
}

void QtSocketControl::onDatagramHostFound(const QList<QHostAddress>& addresses)
{
    if (!m_lookupTimer.isActive())
        return;
    m_lookupTimer.stop();
    finishDatagram(addresses, {});
    lookUpNextDatagram();
}

void QtSocketControl::onLookupTimeout()
{
    m_nameServer->forget();
    if (m_unresolved.empty())
        return;
    const QString seconds = QLocale(QLocale::Spanish).toString(m_lookupTimer.interval() / 1000.0);
    finishDatagram({}, QStringLiteral("No se pudo averiguar la dirección del equipo %1: el "
                                      "servidor de nombres no respondió en %2 s.")
                           .arg(quoted(m_unresolved.front().host), seconds));
    lookUpNextDatagram();
}

// Sends the first waiting datagram to the addresses found for its host, or refuses it, and
// tells which. Told last: the handler may close the socket.
void QtSocketControl::finishDatagram(const QList<QHostAddress>& addresses, const QString& failure)
{
    if (!m_udp || m_unresolved.empty())
        return;
    const PendingDatagram datagram = std::move(m_unresolved.front());
    m_unresolved.pop_front();
    QString refusal = failure;
    if (refusal.isEmpty() && addresses.isEmpty())
        refusal = describe(QAbstractSocket::HostNotFoundError, datagram.host, datagram.port, {});
    if (refusal.isEmpty()) {
        try {
            sendDatagram(preferredAddress(addresses), datagram.port, datagram.bytes);
        } catch (const ControlError& e) {
            refusal = e.description();
        }
    }
    if (refusal.isEmpty())
        emit datagramSent();
    else
        emit datagramRefused(refusal);
}

QByteArray QtSocketControl::GetData()
{
    if (m_protocol == Udp)
        return std::exchange(m_datagram, {});
    return m_connection ? m_connection->readAll() : QByteArray();
}

void QtSocketControl::Bind(QStringView portText)
{
    if (m_protocol != Udp)
        throw ControlError(
            QStringLiteral("Solo un socket UDP se enlaza a un puerto; este está en TCP."));
    requireClosed(QStringLiteral("enlazar el socket"));
    const QString text = portText.trimmed().toString();
    if (text.isEmpty())
        throw ControlError(QStringLiteral("No se indicó el puerto en el que recibir datagramas."));
    const DecimalReading reading = readDecimal(text, {.sign = true});
    if (!reading.isNumber())
        throw ControlError(QStringLiteral("%1 no es un número de puerto.").arg(quoted(text)));
    const qint64 port = reading.value;
    checkPort(port);

    startReceiving(quint16(port), QAbstractSocket::DontShareAddress);
    m_localPort = std::int32_t(port);
}

void QtSocketControl::startReceiving(quint16 port, QAbstractSocket::BindMode mode)
{
    DatagramSocket::Failure failure;
    std::unique_ptr<DatagramSocket> udp =
        DatagramSocket::bind(port, mode, kKernelReceiveBuffer, failure);
    if (!udp)
        throw ControlError(describe(failure.error, QString(), port, failure.text));
    m_udp = udp.release();
    m_udp->setParent(this);
    // The port the system gave, when it chose one: the socket's local port from now on.
    m_localPort = m_udp->localPort();
    connect(m_udp, &DatagramSocket::errorOccurred, this, &QtSocketControl::onUdpError);
    connect(m_udp, &DatagramSocket::datagramsArrived, &m_deliverTimer, qOverload<>(&QTimer::start));
    tellState();
}

// --- events ------------------------------------------------------------------------------

void QtSocketControl::setReadingHeld(bool held)
{
    if (held == m_readingHeld)
        return;
    m_readingHeld = held;
    // What waited is told from the event loop, not inside whatever released it.
    if (!held)
        QTimer::singleShot(0, this, &QtSocketControl::onReadyRead);
}

void QtSocketControl::onReadyRead()
{
    if (!m_readingHeld)
        tellArrived();
}

void QtSocketControl::tellArrived()
{
    if (m_connection && m_connection->bytesAvailable() > 0)
        emit dataArrival(std::int32_t(std::min<qint64>(m_connection->bytesAvailable(), INT32_MAX)));
}

void QtSocketControl::onDisconnected()
{
    QPointer<QTcpSocket> socket = m_connection;
    if (!socket)
        return;
    // Bytes that came with the peer's goodbye are told before the goodbye, held or not.
    if (socket->bytesAvailable() > 0)
        tellArrived();
    if (!socket || socket != m_connection)
        return;
    if (m_reset) {
        m_failed = true;
        tellState();
        emit errorOccurred(errorNumber(QAbstractSocket::RemoteHostClosedError),
                           resetDescription(peerText()));
        return;
    }
    emit peerClosed();
}

void QtSocketControl::onTcpError(QAbstractSocket::SocketError error)
{
    if (!m_connection)
        return;
    if (error == QAbstractSocket::RemoteHostClosedError) {
        // The peer left: told by onDisconnected, as an error if it reset the connection.
        m_reset = m_watch.wasReset();
        m_watch.stop();
        return;
    }
    m_connectTimer.stop();
    const bool outgoing = !m_remoteHost.isEmpty() && m_connection->peerAddress().isNull();
    const QString host = outgoing ? m_remoteHost : peerText();
    const int port = outgoing ? m_remotePort : m_connection->peerPort();
    m_failed = true;
    // Its own disconnected signal would tell the same failure a second time, as a close.
    m_connection->disconnect(this);
    tellState();
    emit errorOccurred(
        errorNumber(error),
        describe(error, host, port, m_connection ? m_connection->errorString() : QString()));
}

void QtSocketControl::deliverDatagrams()
{
    // Each datagram is its own DataArrival; a turn tells a bounded batch, and the next turn
    // carries on while datagrams wait.
    QElapsedTimer turn;
    turn.start();
    for (int told = 0; m_udp && told < kDatagramsPerTurn && turn.elapsed() < kDatagramTurnMs;
         ++told) {
        if (m_received.empty())
            m_udp->take(m_received, kDatagramsPerTurn);
        if (m_received.empty())
            return;
        DatagramSocket::Datagram datagram = std::move(m_received.front());
        m_received.pop_front();
        m_datagram = std::move(datagram.data);
        m_datagramSender = datagram.sender;
        emit dataArrival(std::int32_t(m_datagram.size()));
    }
    if (m_udp && (!m_received.empty() || m_udp->hasWaiting()))
        m_deliverTimer.start();
}

void QtSocketControl::onUdpError(QAbstractSocket::SocketError error, const QString& text)
{
    if (!m_udp)
        return;
    emit errorOccurred(errorNumber(error), describe(error, m_remoteHost, m_remotePort, text));
}

QString QtSocketControl::peerText() const
{
    return m_connection ? addressText(m_connection->peerAddress()) : QString();
}
