#include "support/FakeSerialControl.h"

#include "base/ControlError.h"
#include "base/SingleByteCodec.h"

#include <utility>

void FakeSerialControl::record(const QString& operation)
{
    operations << operation;
    if (!refuse.isEmpty() && operation.startsWith(refuse))
        throw ControlError(QStringLiteral("refused: ") + operation);
}

void FakeSerialControl::setSettings(const QString& settings)
{
    record(QStringLiteral("Settings=") + settings);
    m_settings = settings;
}

void FakeSerialControl::setCommPort(std::int16_t port)
{
    record(QStringLiteral("CommPort=%1").arg(port));
    m_commPort = port;
}

void FakeSerialControl::setInputLen(std::int16_t length)
{
    record(QStringLiteral("InputLen=%1").arg(length));
    m_inputLen = length;
}

void FakeSerialControl::setInputMode(std::int32_t mode)
{
    record(QStringLiteral("InputMode=%1").arg(mode));
}

bool FakeSerialControl::portOpen() const
{
    const_cast<FakeSerialControl*>(this)->operations << QStringLiteral("PortOpen?");
    return open;
}

void FakeSerialControl::setPortOpen(bool isOpen)
{
    record(QStringLiteral("PortOpen=%1").arg(isOpen ? u"true" : u"false"));
    if (std::exchange(open, isOpen) != isOpen)
        emit portOpenChanged(isOpen);
}

void FakeSerialControl::setRThreshold(std::int16_t threshold)
{
    record(QStringLiteral("RThreshold=%1").arg(threshold));
}

void FakeSerialControl::setSThreshold(std::int16_t threshold)
{
    record(QStringLiteral("SThreshold=%1").arg(threshold));
}

void FakeSerialControl::setOutput(QStringView text)
{
    record(QStringLiteral("Output=") + text.toString());
    written += SingleByteCodec::toBytes(text);
}

QByteArray FakeSerialControl::input()
{
    const qsizetype take =
        m_inputLen > 0 ? std::min<qsizetype>(m_inputLen, waiting.size()) : waiting.size();
    const QByteArray chunk = waiting.left(take);
    waiting.remove(0, take);
    return chunk;
}

void FakeSerialControl::feed(const QByteArray& bytes)
{
    waiting += bytes;
    raiseOnComm();
}
