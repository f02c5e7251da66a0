#pragma once

#include "serial/SerialControl.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// A serial control that records every operation in order ("Settings=9600,n,8,1",
// "PortOpen=true", ...) and delivers what a test feeds it, one notification per call.
// A test can make any operation refuse by naming it in refuse.
class FakeSerialControl final : public SerialControl {
    Q_OBJECT

public:
    QString settings() const override { return m_settings; }
    void setSettings(const QString& settings) override;
    std::int16_t commPort() const override { return m_commPort; }
    void setCommPort(std::int16_t port) override;
    void setInputLen(std::int16_t length) override;
    void setInputMode(std::int32_t mode) override;
    bool portOpen() const override;
    void setPortOpen(bool open) override;
    void setRThreshold(std::int16_t threshold) override;
    void setSThreshold(std::int16_t threshold) override;
    void setOutput(QStringView text) override;
    QByteArray input() override;

    // Bytes "arrive on the line": they wait in the input and one notification is raised.
    void feed(const QByteArray& bytes);

    QStringList operations;
    QByteArray written;
    QByteArray waiting;
    QString refuse;
    bool open = false;

private:
    void record(const QString& operation);

    QString m_settings = QStringLiteral("9600,n,8,1");
    std::int16_t m_commPort = 1;
    std::int16_t m_inputLen = 0;
};
