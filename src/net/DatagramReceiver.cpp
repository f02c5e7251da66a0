#include "net/DatagramReceiver.h"

#include <QUdpSocket>
#include <QVariant>
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
constexpr std::size_t kLargestDatagram = DatagramSocket::kLargestDatagram;

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
            m_roomAgain.wait(lock, [this] {
                return m_stop || m_waitingBytes < DatagramSocket::kMaxWaitingBytes;
            });
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
            emit datagramsArrived();
    }
}

namespace {

// DatagramSocket as a QUdpSocket on the window's thread, for binding, sending and errors,
// with a DatagramReceiver reading its descriptor.
class NativeDatagramSocket final : public DatagramSocket {
public:
    bool open(quint16 port, QAbstractSocket::BindMode mode, int receiveBuffer, Failure& failure)
    {
        if (!m_socket.bind(QHostAddress::Any, port, mode)) {
            failure = {m_socket.error(), m_socket.errorString()};
            return false;
        }
        // Room in the kernel for a burst while the reading thread waits for a processor; the
        // system caps it at what it allows.
        m_socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, receiveBuffer);
        connect(&m_socket, &QAbstractSocket::errorOccurred, this,
                [this](QAbstractSocket::SocketError error) {
                    emit errorOccurred(error, m_socket.errorString());
                });
        m_receiver = std::make_unique<DatagramReceiver>(m_socket.socketDescriptor());
        connect(m_receiver.get(), &DatagramReceiver::datagramsArrived, this,
                &DatagramSocket::datagramsArrived, Qt::DirectConnection);
        return true;
    }

    quint16 localPort() const override { return m_socket.localPort(); }

    bool send(const QByteArray& bytes, const QHostAddress& to, quint16 port,
              Failure& failure) override
    {
        if (m_socket.writeDatagram(bytes, to, port) == bytes.size())
            return true;
        failure = {m_socket.error(), m_socket.errorString()};
        return false;
    }

    void take(std::deque<Datagram>& out, std::size_t max) override
    {
        if (m_receiver)
            m_receiver->take(out, max);
    }

    bool hasWaiting() const override { return m_receiver && m_receiver->hasWaiting(); }

    void close() override
    {
        // The reading thread stops before the socket it reads is closed.
        m_receiver.reset();
        m_socket.disconnect(this);
        m_socket.close();
    }

private:
    QUdpSocket m_socket;
    std::unique_ptr<DatagramReceiver> m_receiver;
};

} // namespace

std::unique_ptr<DatagramSocket> bindNativeDatagramSocket(quint16 port,
                                                         QAbstractSocket::BindMode mode,
                                                         int receiveBuffer,
                                                         DatagramSocket::Failure& failure)
{
    auto socket = std::make_unique<NativeDatagramSocket>();
    if (!socket->open(port, mode, receiveBuffer, failure))
        return nullptr;
    return socket;
}
