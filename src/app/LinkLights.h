#pragma once

#include <QObject>

class ClientReconnect;
class SerialControl;
class SerialReconnect;
class SocketControl;
class StateLight;

// Keeps each frame's lamp in step with its link, from what the controls report: their state
// as it changes, and for a moment an error the network reports, a peer that closed its end, a
// serial port that was lost. (A refusal that a handler's trap catches, a listen, connect,
// "Conectar" or send refused, is shown on the lamp by that handler.) A link that is being
// made again by itself shows amber from its loss to its return, without the red moment: the
// loss is expected, and told in its pane.
class LinkLights : public QObject {
    Q_OBJECT

public:
    LinkLights(SocketControl& winsock1, SocketControl& winsock2, SerialControl& mscomm1,
               StateLight& server, StateLight& client, StateLight& serial,
               const ClientReconnect& clientReconnect, const SerialReconnect& serialReconnect,
               QObject* parent = nullptr);

private:
    void showSockets();
    // A failure of Winsock2: the client's lamp, and the server's too under UDP, where the
    // server frame's listen bound that socket.
    void winsock2Failed(const QString& text);

    SocketControl& m_winsock1;
    SocketControl& m_winsock2;
    StateLight& m_server;
    StateLight& m_client;
    const ClientReconnect& m_clientReconnect;
};
