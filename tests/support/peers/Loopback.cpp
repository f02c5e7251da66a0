#include "support/peers/Loopback.h"

#include "PeerSystem.h"

#include <QTcpServer>
#include <QUdpSocket>

#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void sendSmallPiecesAtOnce(int fd)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

} // namespace

quint16 freeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    return probe.serverPort();
}

quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::Any, 0);
    return probe.localPort();
}

int connectToLoopback(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopbackAddress(port);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    sendSmallPiecesAtOnce(fd);
    return fd;
}

LoopbackListener::LoopbackListener(int backlog)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopbackAddress(0);
    if (m_fd < 0 ||
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_fd, backlog) != 0)
        return;
    m_port = boundPort(m_fd);
}

LoopbackListener::~LoopbackListener()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int LoopbackListener::take()
{
    const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0)
        sendSmallPiecesAtOnce(fd);
    return fd;
}
