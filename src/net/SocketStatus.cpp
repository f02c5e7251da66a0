#include "net/SocketStatus.h"

#include "net/SocketControl.h"

namespace {

const QString kClosed = QStringLiteral("Cerrado");

QString listeningText(const SocketControl& socket)
{
    return QStringLiteral("Escuchando en el puerto %1 (%2)")
        .arg(QString::number(socket.localPort()),
             socket.protocol() == SocketControl::Udp ? u"UDP" : u"TCP");
}

// An address and port as operators write them: 10.0.0.5:502, [::1]:502.
QString endpointText(const QString& host, std::int32_t port)
{
    const QString shown = host.contains(u':') ? u'[' + host + u']' : host;
    return shown + u':' + QString::number(port);
}

bool isConnection(std::int16_t state)
{
    switch (state) {
    case SocketControl::ResolvingHost:
    case SocketControl::Connecting:
    case SocketControl::Connected:
    case SocketControl::Closing:
    case SocketControl::Failed:
        return true;
    default:
        return false;
    }
}

} // namespace

QString closingLine(const SocketControl& socket)
{
    const std::int16_t state = socket.state();
    if (state == SocketControl::Listening || state == SocketControl::Open)
        return QStringLiteral("*** Dejó de escuchar en el puerto %1 (%2)")
            .arg(QString::number(socket.localPort()),
                 socket.protocol() == SocketControl::Udp ? u"UDP" : u"TCP");
    if (isConnection(state))
        return QStringLiteral("*** Desconectado");
    return {};
}

LightState serverLightState(const SocketControl& winsock1, const SocketControl& winsock2)
{
    using Lamp = StateLight::Lamp;
    switch (winsock1.state()) {
    case SocketControl::Listening:
        return {Lamp::Amber, listeningText(winsock1)};
    case SocketControl::Connected:
        return {Lamp::Green,
                QStringLiteral("Cliente %1 conectado al puerto %2 (TCP)")
                    .arg(winsock1.remoteHostIP(), QString::number(winsock1.localPort()))};
    default:
        break;
    }
    if (winsock2.protocol() == SocketControl::Udp && winsock2.state() == SocketControl::Open)
        return {Lamp::Amber, listeningText(winsock2)};
    return {Lamp::Off, kClosed};
}

LightState clientLightState(const SocketControl& winsock2, bool reconnecting)
{
    using Lamp = StateLight::Lamp;
    if (reconnecting && winsock2.state() != SocketControl::Connected) {
        return {Lamp::Amber, QStringLiteral("Reconectando a %1")
                                 .arg(endpointText(winsock2.remoteHost(), winsock2.remotePort()))};
    }
    switch (winsock2.state()) {
    case SocketControl::ResolvingHost:
    case SocketControl::Connecting:
        return {Lamp::Amber, QStringLiteral("Conectando a %1")
                                 .arg(endpointText(winsock2.remoteHost(), winsock2.remotePort()))};
    case SocketControl::Connected:
        return {Lamp::Green,
                QStringLiteral("Conectado a %1")
                    .arg(endpointText(winsock2.remoteHostIP(), winsock2.remotePort()))};
    case SocketControl::Open:
        return {Lamp::Amber, listeningText(winsock2)};
    default:
        return {Lamp::Off, kClosed};
    }
}
