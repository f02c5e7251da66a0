#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

// Finishes, on a thread of its own, what a closed serial port still had to send, so that
// closing a port never waits on the window's thread (POSIX only).
//
// It takes over a duplicate of the port's descriptor once Qt has closed the port: it writes
// what Qt had not yet handed to the terminal, waits for the terminal's output queue to empty,
// and closes the descriptor. What is still unsent when the budget runs out is discarded, so
// that a line nobody reads never holds a close for long. At the program's end it waits for
// the drains still running, at most kExitWait.
//
// It knows nothing of the window or of Qt's event loop; the control asks busy() before it
// opens a device again.
class SerialDrain {
public:
    static constexpr std::chrono::milliseconds kExitWait{10'000};

    static void start(int descriptor, QByteArray unsent, const QString& device,
                      std::chrono::milliseconds budget);
    // Whether output to this device is still being finished.
    static bool busy(const QString& device);
};
