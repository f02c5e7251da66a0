#pragma once

#include "net/SocketControl.h"

class QPushButton;

// "TCP" / "UDP": resets both sockets to the chosen protocol and lets the client's
// "Conectar" / "Desconectar" be pressed under TCP only. The choice itself lives in the two
// option buttons, which the endpoint handlers read each time they run; it is kept nowhere else.
class TransportChoice {
public:
    TransportChoice(SocketControl& winsock1, SocketControl& winsock2, QPushButton& bntConnect,
                    QPushButton& command1);

    void Option1_Click();
    void Option2_Click();

private:
    void choose(SocketControl::Protocol protocol, bool clientButtonsEnabled);

    SocketControl& m_winsock1;
    SocketControl& m_winsock2;
    QPushButton& m_bntConnect;
    QPushButton& m_command1;
};
