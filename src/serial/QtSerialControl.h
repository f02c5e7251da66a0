#pragma once

#include "serial/ErrorMarkDecoder.h"
#include "serial/LineSettings.h"
#include "serial/SerialControl.h"
#include "serial/SerialPortNumbering.h"

#include <QByteArray>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

// SerialControl on QSerialPort, behaving like the serial control operators know.
//
// Settings and port number are checked when written, and applied when the port next opens;
// writing them while the port is open leaves the open port alone. The port's bytes are taken
// into a buffer of the control's own as soon as they arrive, and one onComm is raised for
// each of them while received characters wait (RThreshold 1), in batches of at most
// kNotificationsPerTurn per turn of the event loop: a flood never freezes the window, and no
// character is left waiting after the last one arrives.
//
// The port runs with DTR on and RTS off. The line the device runs is read back after it
// opens; a device that runs other settings than asked is closed again and the open refused,
// naming what it would not take. Received bytes with a parity or framing error reach the
// reader as "?"; null bytes are kept.
//
// Closing never waits on the window's thread: what was sent and has not yet gone out is
// finished by SerialDrain (POSIX) or QtSerialDrain (elsewhere, and the portable build), and
// opening the same device again waits for that (the window keeps painting and serving timers
// meanwhile; clicks wait their turn).
//
// What it deliberately does not do: raise notifications about its transmit buffer (SThreshold
// is kept, but an empty code row after every send would only confuse the operator), or keep
// received characters that were not read when the port is closed on purpose.
class QtSerialControl final : public SerialControl {
    Q_OBJECT

public:
    static constexpr int kNotificationsPerTurn = 4096;
    // What a close gives the output still pending, beyond the time its bytes need at the
    // line's speed.
    static constexpr int kDrainSlackMs = 1000;

    // Whether this process may read and write a device. Refusals to open are told apart with
    // it: a device the process may not use needs the operator in the device's group, any
    // other refusal means some other program holds it.
    using AccessCheck = std::function<bool(const QString& device)>;
    static bool mayReadAndWrite(const QString& device);

    explicit QtSerialControl(SerialPortNumbering numbering = SerialPortNumbering(),
                             AccessCheck mayOpen = mayReadAndWrite, QObject* parent = nullptr);
    ~QtSerialControl() override;

    QString settings() const override { return m_settings; }
    void setSettings(const QString& settings) override;
    std::int16_t commPort() const override { return m_commPort; }
    void setCommPort(std::int16_t port) override;
    void setInputLen(std::int16_t length) override;
    void setInputMode(std::int32_t mode) override;
    bool portOpen() const override { return m_port->isOpen(); }
    void setPortOpen(bool open) override;
    void setRThreshold(std::int16_t threshold) override;
    void setSThreshold(std::int16_t threshold) override;
    void setOutput(QStringView text) override;
    QByteArray input() override;

private:
    // Tests read how many received characters wait (tests/support).
    friend struct SerialControlProbe;

    void attachPort();
    void open();
    void close();
    [[noreturn]] void refuseOpen(const QString& port, const QString& device);
    void waitForDrain(const QString& device, const QString& port);
    void applyLine(const QString& port);
    void handOverPendingOutput();
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void readArrived();
    void take(const QByteArray& bytes);
    void scheduleDelivery();
    void deliver();
    qsizetype waiting() const { return m_received.size() - m_readPosition; }
    void discardInput();

    SerialPortNumbering m_numbering;
    AccessCheck m_mayOpen;
    // Replaced when a close hands it over to finish its output (QtSerialDrain).
    std::unique_ptr<QSerialPort> m_port;
    QTimer m_deliveryTimer;

    QString m_settings = QStringLiteral("9600,n,8,1");
    LineSettings m_line;
    std::int16_t m_commPort = 1;
    std::int16_t m_inputLen = 0;
    std::int32_t m_inputMode = 0;
    std::int16_t m_rThreshold = 0;
    std::int16_t m_sThreshold = 0;

    // How refusals and the loss notice name the open port: "COM5 (/dev/com5)".
    QString m_openPort;
    // The device under its real name, which a drain of its output is known by.
    QString m_openDevice;
    bool m_closing = false;

    // Received bytes come with errors marked, and are decoded as they are taken.
    bool m_marking = false;
    ErrorMarkDecoder m_decoder;
    // Sent since the port opened; the last bytesToWrite() of them are still in Qt's buffer.
    bool m_wrote = false;
    QByteArray m_sent;
    // When what was handed to the driver has gone out at the line's speed, reckoned.
    std::chrono::steady_clock::time_point m_lineFreeAt;

    // Received and not yet read: m_received from m_readPosition on.
    QByteArray m_received;
    qsizetype m_readPosition = 0;
    // Notifications still to raise: one per received character.
    qint64 m_owed = 0;
    bool m_delivering = false;
    // A lost port is told once the characters that came before the loss have been delivered.
    QString m_loss;
};
