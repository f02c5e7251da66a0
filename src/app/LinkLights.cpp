#include "app/LinkLights.h"

#include "net/SocketControl.h"
#include "net/SocketStatus.h"
#include "serial/SerialControl.h"
#include "serial/SerialLink.h"
#include "views/StateLight.h"

LinkLights::LinkLights(SocketControl& winsock1, SocketControl& winsock2, SerialControl& mscomm1,
                       StateLight& server, StateLight& client, StateLight& serial, QObject* parent)
    : QObject(parent)
    , m_winsock1(winsock1)
    , m_winsock2(winsock2)
    , m_server(server)
    , m_client(client)
{
    for (SocketControl* socket : {&winsock1, &winsock2})
        connect(socket, &SocketControl::stateChanged, this, &LinkLights::showSockets);
    connect(
        &winsock1, &SocketControl::errorOccurred, this,
        [this](std::int16_t, const QString& description) { m_server.showFailure(description); });
    connect(&winsock1, &SocketControl::peerClosed, this,
            [this] { m_server.showFailure(QStringLiteral("El cliente cerró la conexión")); });
    connect(&winsock2, &SocketControl::errorOccurred, this,
            [this](std::int16_t, const QString& description) { winsock2Failed(description); });
    connect(&winsock2, &SocketControl::peerClosed, this,
            [this] { winsock2Failed(QStringLiteral("El servidor cerró la conexión")); });

    connect(&mscomm1, &SerialControl::portOpenChanged, this, [&mscomm1, &serial](bool open) {
        const LightState state = serialLightState(mscomm1, open);
        serial.setState(state.lamp, state.text);
    });
    connect(&mscomm1, &SerialControl::failed, this,
            [&serial](const QString& description) { serial.showFailure(description); });
    showSockets();
}

void LinkLights::showSockets()
{
    for (const auto& [light, state] :
         {std::pair{&m_server, serverLightState(m_winsock1, m_winsock2)},
          std::pair{&m_client, clientLightState(m_winsock2)}})
        light->setState(state.lamp, state.text);
}

void LinkLights::winsock2Failed(const QString& text)
{
    m_client.showFailure(text);
    if (m_winsock2.protocol() == SocketControl::Udp)
        m_server.showFailure(text);
}
