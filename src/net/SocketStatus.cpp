#include "net/SocketStatus.h"

#include "net/SocketControl.h"

namespace {

bool isConnection(std::int16_t state)
{
    switch (state) {
    case SocketControl::ResolvingHost:
    case SocketControl::HostResolved:
    case SocketControl::Connecting:
    case SocketControl::Connected:
    case SocketControl::ConnectionPending:
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

