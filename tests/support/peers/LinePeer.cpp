#include "support/peers/LinePeer.h"

#include "PeerSystem.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/sockios.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>

namespace {

constexpr qint64 kPiece = 64 * 1024;

} // namespace

LinePeer::LinePeer(int descriptor, Kind kind, PeerStream stream, qint64 startOffset)
    : m_fd(descriptor)
    , m_kind(kind)
    , m_stream(std::move(stream))
    , m_start(startOffset)
    , m_target(startOffset)
    , m_wake(std::make_unique<WakePipe>())
{
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
    m_thread = std::thread([this] { run(); });
    pthread_setname_np(m_thread.native_handle(), "line-peer");
}

LinePeer::~LinePeer()
{
    m_stop.store(true);
    m_wake->wake();
    m_thread.join();
    if (m_fd.load() >= 0)
        ::close(m_fd.load());
}

void LinePeer::send(qint64 size)
{
    m_asked += size;
    m_target.store(m_start + m_asked);
    m_wake->wake();
}

void LinePeer::finish(Ending ending)
{
    m_ending.store(ending);
    m_finish.store(true);
    m_wake->wake();
}

bool LinePeer::delivered() const
{
    if (m_written.load() != m_asked)
        return false;
#if defined(__linux__)
    int waiting = -1;
    return m_kind != Kind::Socket ||
           (::ioctl(m_fd.load(), SIOCOUTQ, &waiting) == 0 && waiting == 0);
#else
    return true;
#endif
}

QByteArray LinePeer::received() const
{
    const std::lock_guard lock(m_mutex);
    return m_received;
}

bool LinePeer::end()
{
    const int fd = m_fd.load();
    switch (m_ending.load()) {
    case Ending::HalfClose:
        if (m_kind == Kind::Socket)
            ::shutdown(fd, SHUT_WR);
        return false;
    case Ending::Reset: {
        const linger abrupt{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
        break;
    }
    case Ending::Close:
        break;
    }
    m_fd.store(-1);
    ::close(fd);
    return true;
}

void LinePeer::run()
{
    const int fd = m_fd.load();
    QByteArray outgoing;
    qint64 outgoingAt = 0;
    qint64 streamAt = m_start;
    bool finished = false;
    std::array<char, kPiece> incoming{};
    for (;;) {
        if (outgoingAt == outgoing.size() && streamAt < m_target.load()) {
            const qint64 n = std::min(kPiece, m_target.load() - streamAt);
            outgoing.resize(n);
            m_stream.fill(streamAt, outgoing.data(), n);
            streamAt += n;
            outgoingAt = 0;
        }
        const bool pending = outgoingAt < outgoing.size();
        if (!pending && m_finish.load() && !finished && streamAt == m_target.load()) {
            finished = true;
            if (end())
                break;
        }

        std::array<pollfd, 2> watched{
            {{fd, short(POLLIN | (pending ? POLLOUT : 0)), 0}, {m_wake->readEnd(), POLLIN, 0}}};
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            m_failure.set(systemError("poll", errno));
            break;
        }
        if (watched[1].revents != 0) {
            m_wake->drain();
            if (m_stop.load())
                break;
        }

        bool closed = false;
        if (watched[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            for (;;) {
                const ssize_t got = ::read(fd, incoming.data(), incoming.size());
                if (got > 0) {
                    const std::lock_guard lock(m_mutex);
                    m_received.append(incoming.data(), got);
                    m_receivedSize.fetch_add(got);
                    continue;
                }
                if (got == 0) {
                    closed = true;
                } else if (errno == EINTR) {
                    continue;
                } else if (errno != EAGAIN) {
                    // A reset after the window closed is still the end of the connection.
                    if (errno != ECONNRESET || m_kind != Kind::Socket)
                        m_failure.set(systemError("read", errno));
                    closed = true;
                }
                break;
            }
        }
        if (closed) {
            if (pending || streamAt < m_target.load())
                m_failure.set(
                    QStringLiteral("the window closed the link with %1 bytes still to send")
                        .arg(m_target.load() - streamAt + qint64(outgoing.size()) - outgoingAt));
            break;
        }

        if (pending && (watched[0].revents & POLLOUT)) {
            const char* from = outgoing.constData() + outgoingAt;
            const auto size = std::size_t(outgoing.size() - outgoingAt);
            const ssize_t put = m_kind == Kind::Socket ? ::send(fd, from, size, MSG_NOSIGNAL)
                                                       : ::write(fd, from, size);
            if (put > 0) {
                outgoingAt += put;
                m_written.fetch_add(put);
            } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
                m_failure.set(systemError("write", errno));
                break;
            }
        }
    }
    m_ended.store(true);
}
