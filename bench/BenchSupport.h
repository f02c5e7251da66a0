#pragma once

// What the benchmark's scenarios share: waiting on the event loop, measuring its gaps, and
// text as devices write it.

#include <QElapsedTimer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QByteArray;

// Runs the event loop until done() holds or the time runs out.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 120'000);
// The same, asleep between events: while the program's own threads do the work waited for, the
// benchmark takes no core from them.
bool runUntil(const std::function<bool()>& done, int timeoutMs);

// How late the event loop gets round to a 1 ms timer: the gaps between its firings.
class StallMeter {
public:
    StallMeter();
    void start();
    void stop() { m_timer.stop(); }
    double percentile(double p);
    double max() const;
    std::size_t count() const { return m_gapsMs.size(); }
    std::size_t over(double ms) const;

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = -1;
    std::vector<double> m_gapsMs;
};

// Text as devices write it: boot-log and sensor lines whose times, counters and readings
// change from line to line (never one line repeated), the same for every run.
class DeviceLog {
public:
    std::string line();
    // Fills a piece of the stream, the pieces asked for in order.
    void fill(QByteArray& piece);

private:
    std::uint32_t next();

    std::uint64_t m_state = 0x9E3779B97F4A7C15ull;
    long m_ms = 0;
    long m_sequence = 0;
    double m_temperature = 21.5;
    double m_humidity = 40.0;
    double m_volts = 3.3;
    std::string m_left;
};

// One line repeated to the given size: a device that sends nothing but short lines.
QByteArray repeatedLine(const char* line, qint64 size);
