#include "net/ClientReconnect.h"

#include "base/ControlError.h"
#include "net/SocketControl.h"

#include <algorithm>
#include <utility>

ClientReconnect::ClientReconnect(SocketControl& winsock2, QObject* parent)
    : QObject(parent)
    , m_winsock2(winsock2)
{
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, &ClientReconnect::attempt);
}

void ClientReconnect::setOn(bool on)
{
    m_on = on;
    if (!on)
        stop();
}

void ClientReconnect::connected()
{
    m_up = true;
    m_attempting = false;
    m_host = m_winsock2.remoteHost();
    m_port = m_winsock2.remotePort();
    m_nextPauseMs = kFirstPauseMs;
    m_pause.stop();
    setRetrying(false);
}

void ClientReconnect::lost()
{
    const bool wasUp = std::exchange(m_up, false);
    if (!m_on || !wasUp || m_winsock2.protocol() != SocketControl::Tcp)
        return;
    m_nextPauseMs = kFirstPauseMs;
    setRetrying(true);
    schedule();
}

bool ClientReconnect::attemptFailed()
{
    if (!m_attempting)
        return false;
    m_attempting = false;
    schedule();
    return true;
}

void ClientReconnect::stop()
{
    m_up = false;
    // An attempt underway is abandoned, so that it neither connects nor is told as a failure.
    if (std::exchange(m_attempting, false))
        m_winsock2.Close();
    m_pause.stop();
    m_nextPauseMs = kFirstPauseMs;
    setRetrying(false);
}

void ClientReconnect::schedule()
{
    m_pause.start(m_nextPauseMs);
    m_nextPauseMs = std::min(m_nextPauseMs * 2, kLongestPauseMs);
}

// As "Conectar" does, with the host and port of the connection that was lost: the outcome
// comes as the socket's connect or error event.
void ClientReconnect::attempt()
{
    m_attempting = true;
    try {
        m_winsock2.Close();
        m_winsock2.setRemoteHost(m_host);
        m_winsock2.setRemotePort(m_port);
        m_winsock2.Connect();
    } catch (const ControlError&) {
        attemptFailed();
    }
}

void ClientReconnect::setRetrying(bool retrying)
{
    if (m_retrying == retrying)
        return;
    m_retrying = retrying;
    emit retryingChanged(retrying);
}
