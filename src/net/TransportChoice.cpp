#include "net/TransportChoice.h"

#include "net/SocketControl.h"

#include <QPushButton>

TransportChoice::TransportChoice(SocketControl& winsock1, SocketControl& winsock2,
                                 QPushButton& bntConnect, QPushButton& command1)
    : m_winsock1(winsock1)
    , m_winsock2(winsock2)
    , m_bntConnect(bntConnect)
    , m_command1(command1)
{
}

void TransportChoice::Option1_Click()
{
    choose(SocketControl::Tcp, true);
}

void TransportChoice::Option2_Click()
{
    choose(SocketControl::Udp, false);
}

void TransportChoice::choose(SocketControl::Protocol protocol, bool clientButtonsEnabled)
{
    m_winsock1.Close();
    m_winsock1.setProtocol(protocol);
    m_winsock2.Close();
    m_winsock2.setProtocol(protocol);
    m_bntConnect.setEnabled(clientButtonsEnabled);
    m_command1.setEnabled(clientButtonsEnabled);
}
