#include "PeerSystem.h"

#include "support/peers/PeerFailure.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

sockaddr_in loopbackAddress(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

std::uint16_t boundPort(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

QString systemError(const char* what, int error)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(error)));
}

WakePipe::WakePipe()
{
    if (::pipe2(m_ends, O_CLOEXEC | O_NONBLOCK) != 0)
        m_ends[0] = m_ends[1] = -1;
}

WakePipe::~WakePipe()
{
    for (const int fd : m_ends) {
        if (fd >= 0)
            ::close(fd);
    }
}

void WakePipe::wake() const
{
    const char byte = 0;
    [[maybe_unused]] const auto written = ::write(m_ends[1], &byte, 1);
}

void WakePipe::drain() const
{
    char bytes[64];
    while (::read(m_ends[0], bytes, sizeof bytes) > 0) {
    }
}

void PeerFailure::set(const QString& why)
{
    const std::lock_guard lock(m_mutex);
    if (m_failure.isEmpty())
        m_failure = why;
}

QString PeerFailure::get() const
{
    const std::lock_guard lock(m_mutex);
    return m_failure;
}
