#include "net/ResetWatch.h"

#include <utility>

#if defined(Q_OS_LINUX) && !defined(QUORVANE_PORTABLE)
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

void ResetWatch::watch(qintptr descriptor)
{
    stop();
    if (descriptor >= 0)
        m_watch = ::fcntl(int(descriptor), F_DUPFD_CLOEXEC, 0);
}

void ResetWatch::stop()
{
    if (m_watch >= 0)
        ::close(std::exchange(m_watch, -1));
}

bool ResetWatch::wasReset() const
{
    tcp_info info{};
    socklen_t length = sizeof info;
    return m_watch >= 0 && ::getsockopt(m_watch, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 &&
           info.tcpi_state == TCP_CLOSE;
}
#else
void ResetWatch::watch(qintptr) {}

void ResetWatch::stop() {}

bool ResetWatch::wasReset() const
{
    return false;
}
#endif
