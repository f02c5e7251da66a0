#include "LoopbackPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, std::size_t(size));
        if (written < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

} // namespace

TcpFloodPeer::TcpFloodPeer(std::uint16_t port, std::int64_t size, StreamFiller fill)
{
    m_thread = std::thread([this, port, size, fill = std::move(fill)] {
        pthread_setname_np(pthread_self(), "peer");
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in address = loopback(port);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            m_failed.store(true);
            ::close(fd);
            return;
        }
        m_connected.store(true);
        while (!m_go.load())
            std::this_thread::yield();
        constexpr std::int64_t kPiece = 64 * 1024;
        QByteArray piece;
        for (std::int64_t at = 0; at < size; at += kPiece) {
            piece.resize(qsizetype(std::min(kPiece, size - at)));
            fill(at, piece);
            if (!writeAll(fd, piece.constData(), piece.size())) {
                m_failed.store(true);
                break;
            }
        }
        ::close(fd);
    });
}

TcpFloodPeer::~TcpFloodPeer()
{
    m_go.store(true);
    m_thread.join();
}

UdpFloodPeer::UdpFloodPeer(std::uint16_t port, int count, int size)
{
    m_thread = std::thread([this, port, count, size] {
        pthread_setname_np(pthread_self(), "peer");
        const auto started = std::chrono::steady_clock::now();
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        const sockaddr_in address = loopback(port);
        QByteArray datagram(size, 'u');
        for (int i = 0; i < count; ++i) {
            datagram[0] = char(i % 256);
            if (::sendto(fd, datagram.constData(), std::size_t(size), 0,
                         reinterpret_cast<const sockaddr*>(&address), sizeof address) == size) {
                m_sent.fetch_add(1);
            }
        }
        ::close(fd);
        m_seconds.store(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
        m_done.store(true);
    });
}

UdpFloodPeer::~UdpFloodPeer()
{
    m_thread.join();
}

FdWriterPeer::FdWriterPeer(int fd, QByteArray data)
{
    m_thread = std::thread([this, fd, data = std::move(data)] {
        pthread_setname_np(pthread_self(), "peer");
        writeAll(fd, data.constData(), data.size());
        m_done.store(true);
    });
}

FdWriterPeer::~FdWriterPeer()
{
    m_thread.join();
}
