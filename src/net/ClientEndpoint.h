#pragma once

#include <QMetaObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>

class ClientReconnect;
class CodeList;
class LogPane;
class OperatorMessages;
class QLineEdit;
class QRadioButton;
class QWidget;
class SocketControl;
class StateLight;

// The "CLIENTE" frame, on Winsock2. Under TCP it connects to txtIP:txtPort2, sends and shows
// what comes back; when the server ends a connection that was made, it is made again by
// itself only if the operator turned that on (ClientReconnect, which this endpoint tells of
// each connection, loss and error; a failed attempt of it is not logged). Under UDP each "Enviar"
// sends one datagram to txtIP:txtPort2, and the datagrams arriving where the server frame bound
// Winsock2 are shown here too. The one thing it keeps is the sends that wait for their host name: a
// datagram is logged only once it went out (see bntSend2_Click).
//
// "Conectar" closes what Winsock2 had open before it connects anew; when that then fails, the
// pane says the old link was closed before the failure is shown, and the frame's lamp shows
// the failure.
class ClientEndpoint {
public:
    ClientEndpoint(SocketControl& winsock2, QRadioButton& option1, QRadioButton& option2,
                   QLineEdit& txtIP, QLineEdit& txtPort2, QLineEdit& txtSend2, LogPane& text4,
                   StateLight& light, ClientReconnect& reconnect, CodeList& codeList,
                   OperatorMessages& messages);
    ~ClientEndpoint();
    ClientEndpoint(const ClientEndpoint&) = delete;
    ClientEndpoint& operator=(const ClientEndpoint&) = delete;

    void bntConnect_Click();
    void Command1_Click();
    void bntSend2_Click();
    void Winsock2_Connect();
    void Winsock2_DataArrival(std::int32_t bytesTotal);
    void Winsock2_Close();
    void Winsock2_Error(std::int16_t number, const QString& description);

    // Called with the box's text as it was sent when a datagram that waited for its host name
    // went out: such a send empties the box only then, after its handler has returned.
    void whenWaitingSendWentOut(std::function<void(const QString& shown)> told);

private:
    // A datagram that waits for its host name: what was sent, and where the focus was.
    struct WaitingSend {
        // The box's text as shown when it was sent, and the text that went out for it (the
        // box read in its mode, with its line end).
        QString shown;
        QString sent;
        QPointer<QWidget> focus;
    };

    void sendAndLog(const QString& text);
    void sendDatagram(const QString& text);
    void finishWaitingSend();
    void refuseWaitingSend(const QString& description);
    void refuseSend(const QString& description);

    SocketControl& m_winsock2;
    QRadioButton& m_option1;
    QRadioButton& m_option2;
    QLineEdit& m_txtIP;
    QLineEdit& m_txtPort2;
    QLineEdit& m_txtSend2;
    LogPane& m_text4;
    StateLight& m_light;
    ClientReconnect& m_reconnect;
    CodeList& m_codeList;
    OperatorMessages& m_messages;
    std::deque<WaitingSend> m_waiting;
    QMetaObject::Connection m_sentConnection;
    QMetaObject::Connection m_refusedConnection;
    std::function<void(const QString&)> m_wentOut;
};
