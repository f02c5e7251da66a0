#pragma once

#include "serial/LineSettings.h"

#include <QSerialPort>
#include <QString>

#include <chrono>
#include <memory>

// Finishes what a closed serial port still had to send with QSerialPort alone: the portable
// counterpart of SerialDrain, used elsewhere than on POSIX and in the portable build.
//
// The port stays open, out of the control's hands, on the window's thread: Qt's event loop
// writes what it still buffers, and the port is closed once that is out and the line had the
// time it needs at its speed, or when the budget runs out. Nothing waits on the window.
//
// What it cannot do: see what the driver still holds. It reckons by the line's speed
// (lineFreeAt, and at most kDriverQueueBytes after Qt's buffer is empty), and empties the
// driver's output before closing so that the close cannot block; a reader slower than the
// line (flow control holding it, a pseudo-terminal read late) may lose the last bytes.
class QtSerialDrain {
public:
    using Clock = std::chrono::steady_clock;

    // What a driver is taken to hold at most once Qt's buffer is empty.
    static constexpr qint64 kDriverQueueBytes = 4096;
    static constexpr std::chrono::milliseconds kExitWait{10'000};

    // Takes over an open port whose output is unfinished. lineFreeAt: when what was handed to
    // the driver so far has gone out at the line's speed.
    static void start(std::unique_ptr<QSerialPort> port, const QString& device,
                      const LineSettings& line, Clock::time_point lineFreeAt,
                      std::chrono::milliseconds slack);
    // Whether output to this device is still being finished.
    static bool busy(const QString& device);
};
