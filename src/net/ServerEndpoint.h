#pragma once

#include <QString>

#include <cstdint>

class CodeList;
class LogPane;
class OperatorMessages;
class QLineEdit;
class QRadioButton;
class SocketControl;
class StateLight;

// The "SERVER" frame. Under TCP it listens on txtPort with Winsock1, serves one peer at a time,
// and listens again by itself whenever the peer leaves, errs or a send fails. Under UDP its
// listen button binds Winsock2 instead; the datagrams are the client frame's to show.
// It keeps no state: the transport is read from the option buttons each time a button
// handler runs, the connection lives in the socket.
//
// "Poner a la escucha" closes what its socket had open before it listens or binds anew; when
// that then fails, the pane of the link it closed says so before the failure is shown (the
// server's, or under UDP the client's, where the datagrams showed), and the frame's lamp shows
// the failure.
class ServerEndpoint {
public:
    ServerEndpoint(SocketControl& winsock1, SocketControl& winsock2, QRadioButton& option1,
                   QRadioButton& option2, QLineEdit& txtPort, QLineEdit& txtSend, LogPane& text3,
                   LogPane& text4, StateLight& light, CodeList& codeList,
                   OperatorMessages& messages);

    void bntListen_Click();
    void bntSend_Click();
    void Winsock1_ConnectionRequest(std::int32_t requestID);
    void Winsock1_DataArrival(std::int32_t bytesTotal);
    void Winsock1_Close();
    void Winsock1_Error(std::int16_t number, const QString& description);

private:
    SocketControl& m_winsock1;
    SocketControl& m_winsock2;
    QRadioButton& m_option1;
    QRadioButton& m_option2;
    QLineEdit& m_txtPort;
    QLineEdit& m_txtSend;
    LogPane& m_text3;
    LogPane& m_text4;
    StateLight& m_light;
    CodeList& m_codeList;
    OperatorMessages& m_messages;
};
