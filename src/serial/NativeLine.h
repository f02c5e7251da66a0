#pragma once

#include "serial/LineSettings.h"

#include <QSerialPort>
#include <QString>

#include <utility>

#if defined(Q_OS_UNIX) && !defined(QUORVANE_PORTABLE)
#define QUORVANE_TERMIOS 1
#include <termios.h>
#endif

// What only the operating system can do for an open port, and what the device then runs.
// The portable build (QUORVANE_PORTABLE) does none of it: the line is what QSerialPort was
// asked for, input errors are not marked, and Qt 6.4's leftover CMSPAR is not undone.
//
// Received bytes with a parity or framing error are made visible: on POSIX the terminal checks
// input and marks such bytes (INPCK and PARMRK, with IGNPAR and ISTRIP off), for
// ErrorMarkDecoder to turn into "?"; on Windows the driver replaces them by the error
// character "?" itself. Null bytes are kept. Mark and space parity are set exactly, which Qt
// does not do (it leaves CMSPAR set when a line goes back to odd or even).
//
// The line is then read back from the device, not from QSerialPort, whose getters answer what
// was asked of it: a pseudo-terminal, or an adapter, may quietly run something else.
struct NativeLine {
    LineSettings running;
    // Received bytes come marked (POSIX) and must be decoded.
    bool marksErrors = false;
    // Why the device could not be set or read back; empty when it could.
    QString failure;
};

// A descriptor on POSIX, a HANDLE on Windows.
using PortHandle = decltype(std::declval<const QSerialPort&>().handle());

NativeLine applyNativeLine(PortHandle handle, const LineSettings& asked);

#ifdef QUORVANE_TERMIOS
// Every setting of the terminal as it runs now, and putting it back: Qt puts back the
// settings it found when it closes a port, and output still being finished after the close
// must go out as it was sent.
QByteArray terminalSettings(int descriptor);
void setTerminalSettings(int descriptor, const QByteArray& settings);
#endif

#ifdef QUORVANE_TERMIOS
// The terminal settings that ask for `parity` exactly and for marked input errors.
void requestLine(termios& line, QSerialPort::Parity parity);
// The line a terminal's settings describe, at the given speed.
LineSettings runningLine(const termios& line, qint32 baudRate);
#endif
