#include "app/LinkLights.h"

#include "net/ClientReconnect.h"
#include "net/SocketControl.h"
#include "net/SocketStatus.h"
#include "serial/SerialControl.h"
#include "serial/SerialLink.h"
#include "serial/SerialReconnect.h"
#include "views/StateLight.h"

LinkLights::LinkLights(SocketControl& winsock1, SocketControl& winsock2, SerialControl& mscomm1,
                       StateLight& server, StateLight& client, StateLight& serial,
                       const ClientReconnect& clientReconnect,
                       const SerialReconnect& serialReconnect, QObject* parent)
    : QObject(parent)
    , m_winsock1(winsock1)
    , m_winsock2(winsock2)
    , m_server(server)
    , m_client(client)
    , m_clientReconnect(clientReconnect)
{
    for (SocketControl* socket : {&winsock1, &winsock2})
        connect(socket, &SocketControl::stateChanged, this, &LinkLights::showSockets);
    connect(
        &winsock1, &SocketControl::errorOccurred, this,
        [this](std::int16_t, const QString& description) { m_server.showFailure(description); });
    connect(&winsock1, &SocketControl::peerClosed, this,
            [this] { m_server.showFailure(QStringLiteral("El cliente cerró la conexión")); });
    // Asked before the client's handlers are told: whether a reconnection takes the loss over.
    connect(&winsock2, &SocketControl::errorOccurred, this,
            [this](std::int16_t, const QString& description) {
                if (!m_clientReconnect.takesOver())
                    winsock2Failed(description);
            });
    connect(&winsock2, &SocketControl::peerClosed, this, [this] {
        if (!m_clientReconnect.takesOver())
            winsock2Failed(QStringLiteral("El servidor cerró la conexión"));
    });
    connect(&clientReconnect, &ClientReconnect::retryingChanged, this, &LinkLights::showSockets);

    const auto showSerial = [&mscomm1, &serial, &serialReconnect](bool open) {
        const LightState state = serialLightState(mscomm1, open, serialReconnect.retrying());
        serial.setState(state.lamp, state.text);
    };
    connect(&mscomm1, &SerialControl::portOpenChanged, this, showSerial);
    connect(&serialReconnect, &SerialReconnect::retryingChanged, this,
            [&mscomm1, showSerial] { showSerial(mscomm1.portOpen()); });
    connect(&mscomm1, &SerialControl::failed, this,
            [&serial, &serialReconnect](const QString& description) {
                if (!serialReconnect.isOn())
                    serial.showFailure(description);
            });
    showSockets();
}

void LinkLights::showSockets()
{
    for (const auto& [light, state] :
         {std::pair{&m_server, serverLightState(m_winsock1, m_winsock2)},
          std::pair{&m_client, clientLightState(m_winsock2, m_clientReconnect.retrying())}})
        light->setState(state.lamp, state.text);
}

void LinkLights::winsock2Failed(const QString& text)
{
    m_client.showFailure(text);
    if (m_winsock2.protocol() == SocketControl::Udp)
        m_server.showFailure(text);
}
