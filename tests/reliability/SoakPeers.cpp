#include "SoakPeers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace {

// A prime, so that no chunk or datagram size lines up with the pattern's repeats.
constexpr qint64 kPatternSize = 1'000'003;
constexpr qint64 kPiece = 64 * 1024;

struct Random {
    std::uint32_t state;
    std::uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

QByteArray makePattern(Random& random)
{
    QByteArray pattern(kPatternSize, Qt::Uninitialized);
    char* out = pattern.data();
    qint64 at = 0;
    while (at < kPatternSize) {
        const qint64 run = std::min<qint64>(16 + random.next() % 4096, kPatternSize - at);
        switch (random.next() % 6) {
        case 0:
        case 1:
            for (qint64 i = 0; i < run; ++i)
                out[at + i] = char(random.next() >> 24);
            break;
        case 2: {
            const std::uint32_t first = random.next();
            for (qint64 i = 0; i < run; ++i)
                out[at + i] = char((first + std::uint32_t(i)) & 0xFF);
            break;
        }
        case 3: {
            // Text lines of varying length, each ended by CR LF.
            qint64 lineLeft = 20 + random.next() % 80;
            for (qint64 i = 0; i < run; ++i) {
                if (lineLeft == 0 && i + 1 < run) {
                    out[at + i++] = '\r';
                    out[at + i] = '\n';
                    lineLeft = 20 + random.next() % 80;
                    continue;
                }
                const std::uint32_t r = random.next() % 32;
                out[at + i] = r < 26 ? char('a' + r) : ' ';
                --lineLeft;
            }
            break;
        }
        case 4: {
            static constexpr char kBreaks[] = {'\r', '\n', 'x', '\r', '\n', '\0'};
            for (qint64 i = 0; i < run; ++i)
                out[at + i] = kBreaks[random.next() % sizeof kBreaks];
            break;
        }
        default:
            std::memset(out + at, random.next() % 2 ? 0x00 : 0xFF, std::size_t(run));
            break;
        }
        at += run;
    }
    return pattern;
}

void makePipe(int (&ends)[2])
{
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        ends[0] = ends[1] = -1;
}

void wakeUp(const int (&ends)[2])
{
    const char byte = 0;
    [[maybe_unused]] const auto written = ::write(ends[1], &byte, 1);
}

void drain(int fd)
{
    char bytes[64];
    while (::read(fd, bytes, sizeof bytes) > 0) {
    }
}

void closeBoth(int (&ends)[2])
{
    for (int& fd : ends) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

std::uint16_t localPort(int fd)
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

} // namespace

// --- SoakStream --------------------------------------------------------------------------

SoakStream::SoakStream(std::uint32_t seed)
{
    Random random{seed * 2654435761u + 0x9E3779B9u};
    if (random.state == 0)
        random.state = 1;
    m_pattern = std::make_shared<const QByteArray>(makePattern(random));
    m_shift = random.next() % kPatternSize;
}

void SoakStream::fill(qint64 offset, char* out, qint64 size) const
{
    const char* pattern = m_pattern->constData();
    qint64 at = offset + m_shift;
    while (size > 0) {
        const qint64 from = at % kPatternSize;
        const qint64 n = std::min(size, kPatternSize - from);
        std::memcpy(out, pattern + from, std::size_t(n));
        // Each pass over the pattern differs from the last, so that bytes lost or repeated a
        // whole pattern apart still show.
        const auto pass = static_cast<unsigned char>((at / kPatternSize) * 167);
        if (pass != 0) {
            for (qint64 i = 0; i < n; ++i)
                out[i] = char(static_cast<unsigned char>(out[i]) ^ pass);
        }
        out += n;
        size -= n;
        at += n;
    }
}

QByteArray SoakStream::bytes(qint64 offset, qint64 size) const
{
    QByteArray out(size, Qt::Uninitialized);
    fill(offset, out.data(), size);
    return out;
}

// --- LinePeer ----------------------------------------------------------------------------

LinePeer::LinePeer(int descriptor, Kind kind, SoakStream stream, qint64 startOffset)
    : m_fd(descriptor)
    , m_kind(kind)
    , m_stream(std::move(stream))
    , m_start(startOffset)
    , m_target(startOffset)
{
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    makePipe(m_wake);
    m_thread = std::thread([this] { run(); });
    pthread_setname_np(m_thread.native_handle(), "soak-peer");
}

LinePeer::~LinePeer()
{
    m_stop.store(true);
    wakeUp(m_wake);
    m_thread.join();
    ::close(m_fd);
    closeBoth(m_wake);
}

void LinePeer::send(qint64 size)
{
    m_asked += size;
    m_target.store(m_start + m_asked);
    wakeUp(m_wake);
}

void LinePeer::finish()
{
    m_finish.store(true);
    wakeUp(m_wake);
}

QByteArray LinePeer::received() const
{
    const std::lock_guard lock(m_mutex);
    return m_received;
}

QString LinePeer::failure() const
{
    const std::lock_guard lock(m_mutex);
    return m_failure;
}

void LinePeer::fail(const QString& why)
{
    const std::lock_guard lock(m_mutex);
    if (m_failure.isEmpty())
        m_failure = why;
}

void LinePeer::run()
{
    QByteArray outgoing;
    qint64 outgoingAt = 0;
    qint64 streamAt = m_start;
    bool shutDown = false;
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
        if (!pending && m_finish.load() && !shutDown && m_kind == Kind::Socket &&
            streamAt == m_target.load()) {
            ::shutdown(m_fd, SHUT_WR);
            shutDown = true;
        }

        std::array<pollfd, 2> watched{
            {{m_fd, short(POLLIN | (pending ? POLLOUT : 0)), 0}, {m_wake[0], POLLIN, 0}}};
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            fail(systemError("poll", errno));
            break;
        }
        if (watched[1].revents != 0) {
            drain(m_wake[0]);
            if (m_stop.load())
                break;
        }

        bool closed = false;
        if (watched[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            for (;;) {
                const ssize_t got = ::read(m_fd, incoming.data(), incoming.size());
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
                        fail(systemError("read", errno));
                    closed = true;
                }
                break;
            }
        }
        if (closed) {
            if (pending || streamAt < m_target.load())
                fail(QStringLiteral("the window closed the link with %1 bytes still to send")
                         .arg(m_target.load() - streamAt + qint64(outgoing.size()) - outgoingAt));
            break;
        }

        if (pending && (watched[0].revents & POLLOUT)) {
            const char* from = outgoing.constData() + outgoingAt;
            const auto size = std::size_t(outgoing.size() - outgoingAt);
            const ssize_t put = m_kind == Kind::Socket ? ::send(m_fd, from, size, MSG_NOSIGNAL)
                                                       : ::write(m_fd, from, size);
            if (put > 0) {
                outgoingAt += put;
                m_written.fetch_add(put);
            } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
                fail(systemError("write", errno));
                break;
            }
        }
    }
    m_ended.store(true);
}

// --- DatagramPeer ------------------------------------------------------------------------

DatagramPeer::DatagramPeer(std::uint16_t target, SoakStream stream)
    : m_target(target)
    , m_stream(std::move(stream))
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(0);
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        fail(systemError("bind", errno));
    m_port = localPort(m_fd);
    makePipe(m_wake);
    m_thread = std::thread([this] { run(); });
    pthread_setname_np(m_thread.native_handle(), "soak-udp-peer");
}

DatagramPeer::~DatagramPeer()
{
    m_stop.store(true);
    wakeUp(m_wake);
    m_thread.join();
    if (m_fd >= 0)
        ::close(m_fd);
    closeBoth(m_wake);
}

void DatagramPeer::send(const std::vector<int>& sizes)
{
    {
        const std::lock_guard lock(m_mutex);
        m_queued.insert(m_queued.end(), sizes.begin(), sizes.end());
    }
    wakeUp(m_wake);
}

std::vector<QByteArray> DatagramPeer::received() const
{
    const std::lock_guard lock(m_mutex);
    return m_received;
}

QString DatagramPeer::failure() const
{
    const std::lock_guard lock(m_mutex);
    return m_failure;
}

void DatagramPeer::fail(const QString& why)
{
    const std::lock_guard lock(m_mutex);
    if (m_failure.isEmpty())
        m_failure = why;
}

void DatagramPeer::run()
{
    if (m_fd < 0)
        return;
    const sockaddr_in target = loopback(m_target);
    std::vector<char> incoming(65'536);
    QByteArray datagram;
    bool holding = false;
    qint64 streamAt = 0;
    for (;;) {
        if (!holding) {
            const std::lock_guard lock(m_mutex);
            if (!m_queued.empty()) {
                const int size = m_queued.front();
                m_queued.pop_front();
                datagram = m_stream.bytes(streamAt, size);
                streamAt += size;
                holding = true;
            }
        }
        std::array<pollfd, 2> watched{
            {{m_fd, short(POLLIN | (holding ? POLLOUT : 0)), 0}, {m_wake[0], POLLIN, 0}}};
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            fail(systemError("poll", errno));
            return;
        }
        if (watched[1].revents != 0) {
            drain(m_wake[0]);
            if (m_stop.load())
                return;
        }
        if (watched[0].revents & POLLIN) {
            for (;;) {
                const ssize_t got = ::recv(m_fd, incoming.data(), incoming.size(), MSG_DONTWAIT);
                if (got < 0) {
                    if (errno != EAGAIN && errno != EINTR)
                        fail(systemError("recv", errno));
                    break;
                }
                const std::lock_guard lock(m_mutex);
                m_received.emplace_back(incoming.data(), qsizetype(got));
                m_receivedCount.fetch_add(1);
            }
        }
        if (holding && (watched[0].revents & POLLOUT)) {
            const ssize_t put =
                ::sendto(m_fd, datagram.constData(), std::size_t(datagram.size()), MSG_DONTWAIT,
                         reinterpret_cast<const sockaddr*>(&target), sizeof target);
            if (put == datagram.size()) {
                holding = false;
                m_sent.fetch_add(1);
            } else if (put >= 0 || (errno != EAGAIN && errno != EINTR)) {
                fail(systemError("sendto", errno));
                return;
            }
        }
    }
}

// --- loopback sockets --------------------------------------------------------------------

int connectToLoopback(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    // Trickles go out as the small pieces they are.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

LoopbackListener::LoopbackListener()
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(0);
    if (m_fd < 0 ||
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_fd, 4) != 0)
        return;
    m_port = localPort(m_fd);
}

LoopbackListener::~LoopbackListener()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int LoopbackListener::take()
{
    const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return fd;
}
