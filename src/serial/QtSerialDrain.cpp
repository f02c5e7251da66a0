#include "serial/QtSerialDrain.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

using Clock = QtSerialDrain::Clock;
using namespace std::chrono_literals;

class Drain;
// The drains still running; touched on the window's thread only.
std::vector<Drain*> running;

class Drain final : public QObject {
public:
    Drain(std::unique_ptr<QSerialPort> port, const QString& device, const LineSettings& line,
          Clock::time_point lineFreeAt, std::chrono::milliseconds slack)
        : QObject(QCoreApplication::instance())
        , m_port(std::move(port))
        , m_device(device)
        , m_line(line)
        , m_lineFreeAt(std::max(lineFreeAt, Clock::now()))
        , m_by(m_lineFreeAt + lineTime(m_port->bytesToWrite() + QtSerialDrain::kDriverQueueBytes) +
               slack)
    {
        running.push_back(this);
        m_port->disconnect();
        // What comes in meanwhile is nobody's: read and dropped, so it cannot pile up.
        connect(m_port.get(), &QIODevice::readyRead, this, [this] { m_port->readAll(); });
        connect(m_port.get(), &QSerialPort::bytesWritten, this, [this](qint64 bytes) {
            m_lineFreeAt = std::max(m_lineFreeAt, Clock::now()) + lineTime(bytes);
            check();
        });
        // The device has gone: nothing more can go out.
        connect(m_port.get(), &QSerialPort::errorOccurred, this,
                [this](QSerialPort::SerialPortError error) {
                    if (error == QSerialPort::NoError)
                        return;
                    finish();
                    deleteLater();
                });
        m_tick.setInterval(20);
        connect(&m_tick, &QTimer::timeout, this, &Drain::check);
        m_tick.start();
    }

    // The program's end: a bounded wait for what is left, then the port is closed.
    ~Drain() override
    {
        if (m_port->isOpen()) {
            const QDeadlineTimer exitBy(QtSerialDrain::kExitWait);
            while (m_port->bytesToWrite() > 0 && !exitBy.hasExpired() &&
                   m_port->waitForBytesWritten(int(exitBy.remainingTime()))) {
            }
            using std::chrono::milliseconds;
            const milliseconds hold =
                std::min(std::chrono::duration_cast<milliseconds>(m_lineFreeAt - Clock::now()),
                         milliseconds(exitBy.remainingTime()));
            if (m_port->bytesToWrite() == 0 && hold > 0ms)
                QThread::msleep(std::uint64_t(hold.count()));
        }
        finish();
        running.erase(std::remove(running.begin(), running.end(), this), running.end());
    }

    const QString& device() const { return m_device; }

private:
    std::chrono::milliseconds lineTime(qint64 bytes) const
    {
        return std::chrono::milliseconds(bytes * m_line.bitsPerCharacter() * 1000 /
                                         std::max<qint32>(m_line.baudRate, 1));
    }

    void check()
    {
        const Clock::time_point now = Clock::now();
        if (m_port->bytesToWrite() == 0 && m_emptiedAt == Clock::time_point())
            m_emptiedAt = now;
        const bool out =
            m_emptiedAt != Clock::time_point() &&
            now >= std::min(m_lineFreeAt, m_emptiedAt + lineTime(QtSerialDrain::kDriverQueueBytes));
        if (out || now >= m_by) {
            finish();
            deleteLater();
        }
    }

    void finish()
    {
        m_tick.stop();
        if (!m_port->isOpen())
            return;
        // Nothing the port says now changes what is done: a clear or close that fails on a
        // device already gone must not come back here.
        m_port->disconnect(this);
        // Whatever the driver still holds goes, so that the close cannot wait on the line.
        m_port->clear(QSerialPort::Output);
        m_port->close();
        m_device.clear(); // free for the next open at once
    }

    std::unique_ptr<QSerialPort> m_port;
    QString m_device;
    LineSettings m_line;
    Clock::time_point m_lineFreeAt;
    Clock::time_point m_by;
    Clock::time_point m_emptiedAt;
    QTimer m_tick;
};

} // namespace

void QtSerialDrain::start(std::unique_ptr<QSerialPort> port, const QString& device,
                          const LineSettings& line, Clock::time_point lineFreeAt,
                          std::chrono::milliseconds slack)
{
    if (!QCoreApplication::instance()) {
        // No event loop to finish it on.
        port->clear(QSerialPort::Output);
        port->close();
        return;
    }
    new Drain(std::move(port), device, line, lineFreeAt, slack);
}

bool QtSerialDrain::busy(const QString& device)
{
    return std::any_of(running.begin(), running.end(),
                       [&](const Drain* drain) { return drain->device() == device; });
}
