#include "net/TransportChoice.h"

#include "net/SocketControl.h"
#include "net/SocketStatus.h"
#include "views/LogPane.h"

#include <QPushButton>

TransportChoice::TransportChoice(SocketControl& winsock1, SocketControl& winsock2,
                                 QPushButton& bntConnect, QPushButton& command1, LogPane& text3,
                                 LogPane& text4)
    : m_winsock1(winsock1)
    , m_winsock2(winsock2)
    , m_bntConnect(bntConnect)
    , m_command1(command1)
    , m_text3(text3)
    , m_text4(text4)
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
    reset(m_winsock1, protocol, m_text3);
    reset(m_winsock2, protocol, m_text4);
    m_bntConnect.setEnabled(clientButtonsEnabled);
    m_command1.setEnabled(clientButtonsEnabled);
}

// Closes the socket and gives it the protocol; a link that was live says so in its pane.
void TransportChoice::reset(SocketControl& socket, SocketControl::Protocol protocol, LogPane& pane)
{
    const QString closed = closingLine(socket);
    socket.Close();
    if (!closed.isEmpty())
        AppendLog(pane, closed);
    socket.setProtocol(protocol);
}
