#include "net/DatagramReceiver.h"

#include <QtGlobal>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <vector>

namespace {

constexpr int kBatch = 32;
constexpr std::size_t kLargestDatagram = 65'536;

QHostAddress addressOf(const sockaddr_storage& from)
{
    QHostAddress address;
    address.setAddress(reinterpret_cast<const sockaddr*>(&from));
    return address;
}

} // namespace

DatagramReceiver::DatagramReceiver(qintptr descriptor, QObject* parent)
    : QObject(parent)
{
    if (::pipe(m_wake) != 0)
        m_wake[0] = m_wake[1] = -1;
    m_thread = std::thread([this, descriptor] { run(int(descriptor)); });
#if defined(Q_OS_LINUX)
    pthread_setname_np(m_thread.native_handle(), "quorvane-udp");
#endif
}

DatagramReceiver::~DatagramReceiver()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_roomAgain.notify_all();
    if (m_wake[1] >= 0) {
        const char wake = 0;
        [[maybe_unused]] const auto written = ::write(m_wake[1], &wake, 1);
    }
    m_thread.join();
    for (const int fd : m_wake) {
        if (fd >= 0)
            ::close(fd);
    }
}

void DatagramReceiver::take(std::deque<Datagram>& out, std::size_t max)
{
    {
        const std::lock_guard lock(m_mutex);
        while (max-- > 0 && !m_waiting.empty()) {
            m_waitingBytes -= m_waiting.front().data.size();
            out.push_back(std::move(m_waiting.front()));
            m_waiting.pop_front();
        }
    }
    m_roomAgain.notify_all();
}

bool DatagramReceiver::hasWaiting() const
{
    const std::lock_guard lock(m_mutex);
    return !m_waiting.empty();
}

void DatagramReceiver::run(int descriptor)
{
    std::vector<char> buffer(kBatch * kLargestDatagram);
    std::array<sockaddr_storage, kBatch> senders{};
    std::array<iovec, kBatch> pieces{};
#if defined(Q_OS_LINUX)
    std::array<mmsghdr, kBatch> messages{};
    for (int i = 0; i < kBatch; ++i) {
        pieces[i] = {buffer.data() + i * kLargestDatagram, kLargestDatagram};
        messages[i].msg_hdr.msg_iov = &pieces[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        messages[i].msg_hdr.msg_name = &senders[i];
    }
#endif
    std::array<pollfd, 2> watched{{{descriptor, POLLIN, 0}, {m_wake[0], POLLIN, 0}}};
    for (;;) {
        {
            // Wait for the window to catch up when too much already waits.
            std::unique_lock lock(m_mutex);
            m_roomAgain.wait(lock, [this] { return m_stop || m_waitingBytes < kMaxWaitingBytes; });
            if (m_stop)
                return;
        }
        if (::poll(watched.data(), watched.size(), -1) < 0 && errno != EINTR)
            return;
        if (watched[1].revents != 0)
            return;
        if (watched[0].revents & (POLLNVAL))
            return;

        std::vector<Datagram> got;
#if defined(Q_OS_LINUX)
        for (auto& message : messages)
            message.msg_hdr.msg_namelen = sizeof(sockaddr_storage);
        const int count = ::recvmmsg(descriptor, messages.data(), kBatch, MSG_DONTWAIT, nullptr);
        for (int i = 0; i < count; ++i)
            got.push_back(
                {QByteArray(buffer.data() + i * kLargestDatagram, qsizetype(messages[i].msg_len)),
                 addressOf(senders[i])});
#else
        for (int i = 0; i < kBatch; ++i) {
            socklen_t length = sizeof(sockaddr_storage);
            const ssize_t size =
                ::recvfrom(descriptor, buffer.data(), kLargestDatagram, MSG_DONTWAIT,
                           reinterpret_cast<sockaddr*>(&senders[0]), &length);
            if (size < 0)
                break;
            got.push_back({QByteArray(buffer.data(), qsizetype(size)), addressOf(senders[0])});
        }
#endif
        if (got.empty()) {
            if (errno == EBADF || errno == ENOTSOCK)
                return;
            continue;
        }
        bool wasEmpty = false;
        {
            const std::lock_guard lock(m_mutex);
            wasEmpty = m_waiting.empty();
            for (Datagram& datagram : got) {
                m_waitingBytes += datagram.data.size();
                m_waiting.push_back(std::move(datagram));
            }
        }
        if (wasEmpty)
            emit datagramsWaiting();
    }
}
