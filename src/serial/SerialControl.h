#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <utility>

// What the serial link needs of a serial port control: settings and port number written while
// open or closed and applied at the next open, text-mode input of at most InputLen characters
// per read, text output, and one notification event, raised while received characters wait.
//
// A refused operation throws ControlError with a Spanish description naming the port and the
// device. Received text stays in its single-byte form: input() returns the bytes.
//
// A port lost while open (the device unplugged, the other end gone) is closed by the control
// itself, which then raises failed once with a description for the operator: no handler is
// running at that moment to catch a refusal.
//
// portOpenChanged is raised whenever the port opens or closes, for whoever shows it.
// Implementations raise onComm with raiseOnComm().
class SerialControl : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual QString settings() const = 0;
    virtual void setSettings(const QString& settings) = 0;
    virtual std::int16_t commPort() const = 0;
    virtual void setCommPort(std::int16_t port) = 0;
    virtual void setInputLen(std::int16_t length) = 0;
    virtual void setInputMode(std::int32_t mode) = 0;
    virtual bool portOpen() const = 0;
    virtual void setPortOpen(bool open) = 0;
    virtual void setRThreshold(std::int16_t threshold) = 0;
    virtual void setSThreshold(std::int16_t threshold) = 0;
    virtual void setOutput(QStringView text) = 0;
    virtual QByteArray input() = 0;

    // The one receiver of onComm, called in place of the signal: a flood raises one per
    // character, and without Qt's signal machinery the window drains it about a quarter
    // faster. Empty: the signal.
    void setOnCommHandler(std::function<void()> handler) { m_onCommHandler = std::move(handler); }

signals:
    void onComm();
    void failed(const QString& description);
    void portOpenChanged(bool open);

protected:
    // Raises onComm, through its handler if it has one.
    void raiseOnComm()
    {
        if (!m_onCommHandler) {
            emit onComm();
            return;
        }
        // A copy: the handler may replace it, or end the control, while it runs.
        const std::function<void()> handler = m_onCommHandler;
        handler();
    }

private:
    std::function<void()> m_onCommHandler;
};
