#pragma once

#include "net/SocketControl.h"

class LogPane;
class QPushButton;

// "TCP" / "UDP": resets both sockets to the chosen protocol and lets the client's
// "Conectar" / "Desconectar" be pressed under TCP only. A socket that was live says in its
// pane that it was closed: Winsock1 in the server's, Winsock2 (also when the server frame bound
// it under UDP) in the client's, where its datagrams showed. The choice itself lives in the
// two option buttons, which the endpoint handlers read each time they run; it is kept nowhere
// else.
class TransportChoice {
public:
    TransportChoice(SocketControl& winsock1, SocketControl& winsock2, QPushButton& bntConnect,
                    QPushButton& command1, LogPane& text3, LogPane& text4);

    void Option1_Click();
    void Option2_Click();

private:
    void choose(SocketControl::Protocol protocol, bool clientButtonsEnabled);
    static void reset(SocketControl& socket, SocketControl::Protocol protocol, LogPane& pane);

    SocketControl& m_winsock1;
    SocketControl& m_winsock2;
    QPushButton& m_bntConnect;
    QPushButton& m_command1;
    LogPane& m_text3;
    LogPane& m_text4;
};
