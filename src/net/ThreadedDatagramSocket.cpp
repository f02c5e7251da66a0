// DatagramSocket on Qt alone: a QUdpSocket that lives on a QThread of its own and drains into
// a bounded queue. The window's thread binds, sends and closes through that thread, waiting
// for each call to finish (a send costs a round trip between the threads, and waits at most
// for one batch of reading).
#include "net/DatagramSocket.h"

#include <QMetaObject>
#include <QThread>
#include <QUdpSocket>
#include <QVariant>

#include <mutex>
#include <utility>

namespace {

class ThreadedDatagramSocket final : public DatagramSocket {
public:
    // Datagrams read in one go before the thread takes the window's calls again.
    static constexpr int kBatch = 64;

    ThreadedDatagramSocket()
    {
        m_thread.setObjectName(QStringLiteral("quorvane-udp"));
        m_worker.moveToThread(&m_thread);
        m_thread.start();
    }

    ~ThreadedDatagramSocket() override
    {
        close();
        m_thread.quit();
        m_thread.wait();
    }

    bool open(quint16 port, QAbstractSocket::BindMode mode, int receiveBuffer, Failure& failure)
    {
        bool bound = false;
        onThread([&] {
            // Created here, so that it lives, reads and is notified on this thread.
            m_socket = new QUdpSocket(&m_worker);
            if (!m_socket->bind(QHostAddress::Any, port, mode)) {
                failure = {m_socket->error(), m_socket->errorString()};
                delete std::exchange(m_socket, nullptr);
                return;
            }
            m_socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                                      receiveBuffer);
            m_localPort = m_socket->localPort();
            QObject::connect(m_socket, &QIODevice::readyRead, &m_worker, [this] { drain(); });
            QObject::connect(m_socket, &QAbstractSocket::errorOccurred, &m_worker,
                             [this](QAbstractSocket::SocketError error) {
                                 // The read that found nothing more: no failure.
                                 if (error != QAbstractSocket::TemporaryError)
                                     emit errorOccurred(error, m_socket->errorString());
                             });
            bound = true;
            drain(); // anything that came between the bind and the connection
        });
        return bound;
    }

    quint16 localPort() const override { return m_localPort; }

    bool send(const QByteArray& bytes, const QHostAddress& to, quint16 port,
              Failure& failure) override
    {
        bool sent = false;
        onThread([&] {
            if (!m_socket)
                return;
            sent = m_socket->writeDatagram(bytes, to, port) == bytes.size();
            if (!sent)
                failure = {m_socket->error(), m_socket->errorString()};
        });
        return sent;
    }

    void take(std::deque<Datagram>& out, std::size_t max) override
    {
        bool resume = false;
        {
            const std::lock_guard lock(m_mutex);
            while (max-- > 0 && !m_waiting.empty()) {
                m_waitingBytes -= m_waiting.front().data.size();
                out.push_back(std::move(m_waiting.front()));
                m_waiting.pop_front();
            }
            resume = m_full && m_waitingBytes < kMaxWaitingBytes;
            if (resume)
                m_full = false;
        }
        if (resume)
            QMetaObject::invokeMethod(
                &m_worker, [this] { drain(); }, Qt::QueuedConnection);
    }

    bool hasWaiting() const override
    {
        const std::lock_guard lock(m_mutex);
        return !m_waiting.empty();
    }

    void close() override
    {
        if (m_thread.isRunning())
            onThread([this] { delete std::exchange(m_socket, nullptr); });
    }

private:
    // Runs f on the socket's thread and returns once it has run.
    template <typename F> void onThread(F&& f)
    {
        QMetaObject::invokeMethod(&m_worker, std::forward<F>(f), Qt::BlockingQueuedConnection);
    }

    // On the socket's thread: moves what the system holds into the queue, a batch at a time,
    // until the queue is full. A full queue resumes from take(); an unfinished batch from the
    // event loop, after whatever the window asked meanwhile.
    //
    // Each call reads until a read fails (the system holds nothing more) or stops with the
    // queue full: an unbuffered QUdpSocket whose readyRead was not followed by a read stops
    // telling of new datagrams, and a read that finds nothing counts as one.
    void drain()
    {
        for (int read = 0; m_socket; ++read) {
            if (read == kBatch) {
                QMetaObject::invokeMethod(
                    &m_worker, [this] { drain(); }, Qt::QueuedConnection);
                return;
            }
            {
                const std::lock_guard lock(m_mutex);
                if (m_waitingBytes >= kMaxWaitingBytes) {
                    m_full = true;
                    return;
                }
            }
            // Into one buffer, then copied at its size: a datagram read into a buffer of its
            // own would keep the largest size's memory while it waits.
            QHostAddress sender;
            const qint64 size = m_socket->readDatagram(m_buffer.data(), m_buffer.size(), &sender);
            if (size < 0)
                return;
            bool wasEmpty = false;
            {
                const std::lock_guard lock(m_mutex);
                wasEmpty = m_waiting.empty();
                m_waitingBytes += size;
                m_waiting.push_back({QByteArray(m_buffer.constData(), size), sender});
            }
            if (wasEmpty)
                emit datagramsArrived();
        }
    }

    QThread m_thread;
    // Lives on m_thread: what the window's calls run on, and the socket's parent.
    QObject m_worker;
    // Touched on m_thread only.
    QUdpSocket* m_socket = nullptr;
    QByteArray m_buffer{kLargestDatagram, Qt::Uninitialized};
    quint16 m_localPort = 0;

    mutable std::mutex m_mutex;
    std::deque<Datagram> m_waiting;
    qint64 m_waitingBytes = 0;
    bool m_full = false;
};

} // namespace

std::unique_ptr<DatagramSocket> bindThreadedDatagramSocket(quint16 port,
                                                           QAbstractSocket::BindMode mode,
                                                           int receiveBuffer,
                                                           DatagramSocket::Failure& failure)
{
    auto socket = std::make_unique<ThreadedDatagramSocket>();
    if (!socket->open(port, mode, receiveBuffer, failure))
        return nullptr;
    return socket;
}
