#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>

class SocketControl;

// "Reconectar automáticamente" for the client's TCP connection: when the server closes or
// resets a connection that was made, the same host and port are connected again after a
// pause that grows (half a second, then doubling) up to kLongestPauseMs, until a connection
// is made. An attempt that fails is not logged: the pane tells the loss and the return only.
//
// Off until the operator turns it on; it lasts as long as the window. "Conectar",
// "Desconectar", a refused send, a change of transport and turning it off end the retrying.
// It decides nothing about a "Conectar" the server refuses: that is told as before.
class ClientReconnect : public QObject {
    Q_OBJECT

public:
    static constexpr int kFirstPauseMs = 500;
    static constexpr int kLongestPauseMs = 5000;

    explicit ClientReconnect(SocketControl& winsock2, QObject* parent = nullptr);

    void setOn(bool on);
    bool isOn() const { return m_on; }
    // Between the loss and the return: waiting for the next attempt, or in one.
    bool retrying() const { return m_retrying; }
    // The host and port being connected again.
    QString host() const { return m_host; }
    std::int32_t port() const { return m_port; }

    // A connection was made (by "Conectar" or by an attempt).
    void connected();
    // Whether the close or error the socket reports now is this class's: a connection that
    // was made and will be connected again, or an attempt that failed. Asked before it is
    // told (lost or attemptFailed).
    bool takesOver() const { return m_on && (m_up || m_attempting); }
    // The connection that was made has ended, not by the operator: retried when on.
    void lost();
    // True when the error the socket reported was an attempt of this class's, which is then
    // tried again after a longer pause; the error is not the operator's to see.
    bool attemptFailed();
    void stop();

signals:
    void retryingChanged(bool retrying);

private:
    void schedule();
    void attempt();
    void setRetrying(bool retrying);

    SocketControl& m_winsock2;
    QTimer m_pause;
    int m_nextPauseMs = kFirstPauseMs;
    QString m_host;
    std::int32_t m_port = 0;
    bool m_on = false;
    // A connection is up that the server may end.
    bool m_up = false;
    bool m_attempting = false;
    bool m_retrying = false;
};
