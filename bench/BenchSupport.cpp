#include "BenchSupport.h"

#include <QByteArray>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

bool runUntil(const std::function<bool()>& done, int timeoutMs)
{
    // The overload of processEvents with a time limit never sleeps: this thread would take a
    // core the program's threads need.
    QTimer tick; // wakes the loop to look at the clock
    tick.start(50);
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

StallMeter::StallMeter()
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(1);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        const qint64 now = m_clock.nsecsElapsed();
        if (m_last >= 0)
            m_gapsMs.push_back(double(now - m_last) / 1e6);
        m_last = now;
    });
}

void StallMeter::start()
{
    m_last = -1;
    m_clock.start();
    m_timer.start();
}

double StallMeter::percentile(double p)
{
    if (m_gapsMs.empty())
        return 0;
    std::sort(m_gapsMs.begin(), m_gapsMs.end());
    return m_gapsMs[std::size_t(p * double(m_gapsMs.size() - 1))];
}

double StallMeter::max() const
{
    return m_gapsMs.empty() ? 0 : *std::max_element(m_gapsMs.begin(), m_gapsMs.end());
}

std::size_t StallMeter::over(double ms) const
{
    return std::size_t(
        std::count_if(m_gapsMs.begin(), m_gapsMs.end(), [ms](double g) { return g > ms; }));
}

std::string DeviceLog::line()
{
    char text[160];
    m_ms += 1 + next() % 250;
    ++m_sequence;
    m_temperature += double(int(next() % 21) - 10) / 100.0;
    m_humidity += double(int(next() % 11) - 5) / 10.0;
    m_volts += double(int(next() % 7) - 3) / 1000.0;
    const long s = m_ms / 1000;
    const long ms = m_ms % 1000;
    switch (next() % 4) {
    case 0:
        std::snprintf(text, sizeof text, "[%6ld.%03ld] sensor%u: T=%.2fC H=%.1f%% seq=%ld\r\n", s,
                      ms, next() % 4, m_temperature, m_humidity, m_sequence);
        break;
    case 1:
        std::snprintf(text, sizeof text,
                      "%02ld:%02ld:%02ld.%03ld ADC0=%04u ADC1=%04u V=%.3f I=%.3f OK\r\n",
                      s / 3600 % 24, s / 60 % 60, s % 60, ms, next() % 1024, next() % 1024, m_volts,
                      double(next() % 1000) / 1000.0);
        break;
    case 2:
        std::snprintf(text, sizeof text,
                      "[%6ld.%03ld] usb 1-%u: new high-speed USB device number %ld using "
                      "xhci_hcd\r\n",
                      s, ms, next() % 4 + 1, m_sequence % 128);
        break;
    default:
        std::snprintf(text, sizeof text, "I (%ld) wifi: rssi=-%u ch=%u pkt=%ld heap=%u\r\n", m_ms,
                      40 + next() % 50, 1 + next() % 13, m_sequence * 3, 180000 + next() % 20000);
        break;
    }
    return text;
}

void DeviceLog::fill(QByteArray& piece)
{
    for (qsizetype done = 0; done < piece.size();) {
        if (m_left.empty())
            m_left = line();
        const qsizetype n = std::min(piece.size() - done, qsizetype(m_left.size()));
        std::memcpy(piece.data() + done, m_left.data(), std::size_t(n));
        m_left.erase(0, std::size_t(n));
        done += n;
    }
}

std::uint32_t DeviceLog::next()
{
    m_state ^= m_state << 13;
    m_state ^= m_state >> 7;
    m_state ^= m_state << 17;
    return std::uint32_t(m_state >> 32);
}

QByteArray repeatedLine(const char* line, qint64 size)
{
    const qsizetype length = qsizetype(std::strlen(line));
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 at = 0; at < size; at += length)
        std::memcpy(bytes.data() + at, line, std::size_t(std::min<qint64>(length, size - at)));
    return bytes;
}
