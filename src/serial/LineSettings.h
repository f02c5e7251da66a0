#pragma once

#include <QSerialPort>
#include <QString>

// The line a settings string asks for: "speed,parity,data bits,stop bits", as in "9600,n,8,1".
//
// Parity letters are the Spanish initials: "n" ninguna, "p" par (even), "i" impar (odd),
// "m" marca (mark), "e" espacio (space); either case. The speed is any positive whole number
// of baud, non-standard rates included; data bits 5 to 8; stop bits 1 or 2.
struct LineSettings {
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    // Throws ControlError naming the part that is wrong and its value, e.g. an empty parity
    // letter in "9600,,8,1".
    static LineSettings parse(const QString& settings);

    // Start bit, data bits, parity bit and stop bits: what one character costs on the line.
    int bitsPerCharacter() const;

    // What a device that runs `running` does not do of this line, for the operator: "se pidió
    // paridad impar, y el dispositivo funciona sin paridad". Empty when it runs this line.
    // Speeds within 2% count as the same: a UART divides a clock, and a driver may report the
    // rate it reaches rather than the one asked.
    QString differencesFrom(const LineSettings& running) const;
};
