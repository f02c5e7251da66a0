#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// Which device a port number names, the way operators number serial ports: "COM3" is port 3.
//
// On Windows, port N is the device COMN. Elsewhere, port N is <dir>/comN when that exists (an
// alias an administrator or a udev rule creates, to give any device a number: a USB adapter's
// /dev/serial/by-id link, a pseudo-terminal); otherwise 1-99 are ttyS0-ttyS98, 100-199 are
// ttyUSB0-ttyUSB99 and 200-299 are ttyACM0-ttyACM99. Any other number names no device.
//
// The device directory is /dev unless told otherwise, so tests can put their own aliases in a
// directory of their own. Nothing here opens a device.
class SerialPortNumbering {
public:
    struct NumberedPort {
        std::int16_t number;
        QString device;
        // Where an alias leads; empty for a device under its own name.
        QString target;
        bool operator==(const NumberedPort&) const = default;
    };

    explicit SerialPortNumbering(QString deviceDirectory = QStringLiteral("/dev"));

    const QString& deviceDirectory() const { return m_directory; }

    // "COM3": how the operator knows port 3, on every system.
    static QString portLabel(std::int16_t number);
    // The device port N stands for, or "" when the number names none.
    QString deviceFor(std::int16_t number) const;
    // "COM3 (/dev/ttyS2)": how refusals name a port.
    QString describe(std::int16_t number) const;

    // The numbered ports present now: every comN alias, then each of the system's serial
    // ports (as QSerialPortInfo lists them) that has a number. By number.
    std::vector<NumberedPort> present(const QStringList& systemPorts) const;
    // The hover hint of the port number field, from present().
    QString hint(const QStringList& systemPorts) const;

    // The system's serial ports now, as device paths (port names on Windows).
    static QStringList systemPorts();

private:
    std::int16_t numberOf(const QString& device) const;

    QString m_directory;
};
