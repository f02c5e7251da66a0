#pragma once

#include <QString>

#include <cstdint>

class CodeList;
class LogPane;
class OperatorMessages;
class QLineEdit;
class QRadioButton;
class SocketControl;

// The "CLIENTE" frame, on Winsock2. Under TCP it connects to txtIP:txtPort2, sends and shows
// what comes back, and never reconnects by itself. Under UDP each "Enviar" sends one datagram
// to txtIP:txtPort2, and the datagrams arriving where the server frame bound Winsock2 are shown
// here too. It keeps no state of its own.
class ClientEndpoint {
public:
    ClientEndpoint(SocketControl& winsock2, QRadioButton& option1, QRadioButton& option2,
                   QLineEdit& txtIP, QLineEdit& txtPort2, QLineEdit& txtSend2, LogPane& text4,
                   CodeList& codeList, OperatorMessages& messages);

    void bntConnect_Click();
    void Command1_Click();
    void bntSend2_Click();
    void Winsock2_Connect();
    void Winsock2_DataArrival(std::int32_t bytesTotal);
    void Winsock2_Close();
    void Winsock2_Error(std::int16_t number, const QString& description);

private:
    void sendAndLog();

    SocketControl& m_winsock2;
    QRadioButton& m_option1;
    QRadioButton& m_option2;
    QLineEdit& m_txtIP;
    QLineEdit& m_txtPort2;
    QLineEdit& m_txtSend2;
    LogPane& m_text4;
    CodeList& m_codeList;
    OperatorMessages& m_messages;
};
