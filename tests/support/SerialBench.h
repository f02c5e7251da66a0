#pragma once

#include "serial/QtSerialControl.h"
#include "support/PseudoTerminal.h"
#include "support/WindowUnderTest.h"

#include <QTemporaryDir>

#include <memory>

class QLineEdit;

// Types the five serial fields as an operator would ("" leaves one empty), then "Conectar".
void connectSerial(ServerFrm& window, const QStringList& comVelDatParBits);

// The real window on a real QSerialPort, with a device directory of its own in which port 5
// (the alias com5) is a pseudo-terminal the test plays the other end of.
struct SerialBench {
    explicit SerialBench(QtSerialControl::AccessCheck mayOpen = QtSerialControl::mayReadAndWrite);

    // Points comN at a pseudo-terminal, replacing whatever it pointed at.
    void alias(int number, const PseudoTerminal& to) const;
    QString path(const QString& name) const { return devices.filePath(name); }

    // connectSerial on this bench's window.
    void connectWith(const QStringList& comVelDatParBits);
    // Port 5, 9600 baud, 8 data bits, no parity, 1 stop bit.
    void connect();
    void send(const QString& text);

    ServerFrm& window() { return **w; }
    std::vector<RecordingMessages::Shown>& shown() { return w->messages->shown; }

    QTemporaryDir devices;
    PseudoTerminal line;
    std::unique_ptr<WindowUnderTest> w;
};
