#include "support/peers/DatagramPeer.h"

#include "PeerSystem.h"

#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>

namespace {

// Sent between two looks at what arrives, so that a long burst out does not leave the
// peer's own port unread.
constexpr int kSentPerPass = 64;

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

DatagramPeer::DatagramPeer(std::uint16_t target, PeerStream stream)
    : m_target(target)
    , m_stream(std::move(stream))
    , m_wake(std::make_unique<WakePipe>())
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopbackAddress(0);
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        m_failure.set(systemError("bind", errno));
    m_port = boundPort(m_fd);
    m_thread = std::thread([this] { run(); });
    pthread_setname_np(m_thread.native_handle(), "datagram-peer");
}

DatagramPeer::~DatagramPeer()
{
    m_stop.store(true);
    m_wake->wake();
    m_thread.join();
    if (m_fd >= 0)
        ::close(m_fd);
}

void DatagramPeer::send(const std::vector<int>& sizes)
{
    {
        const std::lock_guard lock(m_mutex);
        m_queued.insert(m_queued.end(), sizes.begin(), sizes.end());
    }
    m_wake->wake();
}

double DatagramPeer::sendingSeconds() const
{
    return double(m_lastSentNs.load() - m_firstSentNs.load()) / 1e9;
}

std::vector<QByteArray> DatagramPeer::received() const
{
    const std::lock_guard lock(m_mutex);
    return m_received;
}

void DatagramPeer::run()
{
    if (m_fd < 0)
        return;
    const sockaddr_in target = loopbackAddress(m_target);
    std::vector<char> incoming(65'536);
    std::deque<int> sizes;
    QByteArray datagram;
    bool holding = false;
    qint64 streamAt = 0;
    for (;;) {
        for (int sent = 0; sent < kSentPerPass; ++sent) {
            if (!holding) {
                if (sizes.empty()) {
                    const std::lock_guard lock(m_mutex);
                    sizes.swap(m_queued);
                }
                if (sizes.empty())
                    break;
                datagram = m_stream.bytes(streamAt, sizes.front());
                streamAt += sizes.front();
                sizes.pop_front();
                holding = true;
            }
            const ssize_t put =
                ::sendto(m_fd, datagram.constData(), std::size_t(datagram.size()), MSG_DONTWAIT,
                         reinterpret_cast<const sockaddr*>(&target), sizeof target);
            if (put == datagram.size()) {
                holding = false;
                const qint64 now = nowNs();
                if (m_sent.fetch_add(1) == 0)
                    m_firstSentNs.store(now);
                m_lastSentNs.store(now);
            } else if (put >= 0 || (errno != EAGAIN && errno != EINTR)) {
                m_failure.set(systemError("sendto", errno));
                return;
            } else if (errno == EAGAIN) {
                break;
            }
        }

        std::array<pollfd, 2> watched{
            {{m_fd, short(POLLIN | (holding ? POLLOUT : 0)), 0}, {m_wake->readEnd(), POLLIN, 0}}};
        if (::poll(watched.data(), watched.size(), !holding && !sizes.empty() ? 0 : -1) < 0) {
            if (errno == EINTR)
                continue;
            m_failure.set(systemError("poll", errno));
            return;
        }
        if (watched[1].revents != 0) {
            m_wake->drain();
            if (m_stop.load())
                return;
        }
        if (watched[0].revents & POLLIN) {
            for (;;) {
                const ssize_t got = ::recv(m_fd, incoming.data(), incoming.size(), MSG_DONTWAIT);
                if (got < 0) {
                    if (errno != EAGAIN && errno != EINTR)
                        m_failure.set(systemError("recv", errno));
                    break;
                }
                const std::lock_guard lock(m_mutex);
                m_received.emplace_back(incoming.data(), qsizetype(got));
                m_receivedCount.fetch_add(1);
            }
        }
    }
}
