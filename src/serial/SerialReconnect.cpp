#include "serial/SerialReconnect.h"

#include "base/ControlError.h"
#include "serial/SerialControl.h"
#include "views/LogPane.h"

#include <QScopedValueRollback>

SerialReconnect::SerialReconnect(SerialControl& mscomm1, LogPane& text2, QObject* parent)
    : QObject(parent)
    , m_mscomm1(mscomm1)
    , m_text2(text2)
{
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &SerialReconnect::tryAgain);
}

void SerialReconnect::setOn(bool on)
{
    m_on = on;
    if (!on)
        stop();
}

bool SerialReconnect::portLost()
{
    if (!m_on)
        return false;
    AppendLog(m_text2, u"****Desconectado****");
    if (!m_retry.isActive()) {
        m_retry.start();
        emit retryingChanged(true);
    }
    return true;
}

void SerialReconnect::stop()
{
    if (!m_retry.isActive())
        return;
    m_retry.stop();
    emit retryingChanged(false);
}

// The control kept the port number, the settings and the reading options: opening is all
// that is left of a "Conectar".
void SerialReconnect::tryAgain()
{
    if (m_trying)
        return;
    const QScopedValueRollback trying(m_trying, true);
    if (m_mscomm1.portOpen()) {
        stop();
        return;
    }
    try {
        m_mscomm1.setPortOpen(true);
        m_mscomm1.setRThreshold(1);
        m_mscomm1.setSThreshold(1);
    } catch (const ControlError&) {
        // Not back yet (or back but not ready): the next turn tries again. A port that opened
        // but refused a threshold is closed again, so the next try starts clean.
        if (m_mscomm1.portOpen())
            m_mscomm1.setPortOpen(false);
        return;
    }
    stop();
    AppendLog(m_text2, u"Conectado....");
}
