#pragma once

#include <QObject>
#include <QTimer>

class LogPane;
class SerialControl;

// "Reconectar automáticamente" for the serial port: a port lost while open (a device
// unplugged, a board that resets its USB) is opened again, with the number and settings it
// had, every half second until it opens. The loss and the return are logged in the pane as a
// "Desconectar" and a "Conectar" are; no message box interrupts the operator.
//
// Off until the operator turns it on; it lasts as long as the window. "Conectar",
// "Desconectar" and turning it off end the retrying. It decides nothing about a port the
// operator closed, nor about a refused "Conectar".
class SerialReconnect : public QObject {
    Q_OBJECT

public:
    static constexpr int kRetryMs = 500;

    SerialReconnect(SerialControl& mscomm1, LogPane& text2, QObject* parent = nullptr);

    void setOn(bool on);
    bool isOn() const { return m_on; }
    bool retrying() const { return m_retry.isActive(); }

    // The port was lost while open. False when the option is off: the caller tells the loss
    // as before.
    bool portLost();
    void stop();

signals:
    void retryingChanged(bool retrying);

private:
    void tryAgain();

    SerialControl& m_mscomm1;
    LogPane& m_text2;
    QTimer m_retry;
    bool m_on = false;
    // An open may wait in an event loop (output of the device still going out): the timer
    // must not start another meanwhile.
    bool m_trying = false;
};
