#include "net/ClientEndpoint.h"

#include "codes/CodeList.h"
#include "net/SocketControl.h"
#include "platform/FailureDispatch.h"
#include "platform/LogPane.h"
#include "platform/NumberConversion.h"
#include "platform/OperatorMessages.h"
#include "platform/OutgoingText.h"

#include <QLineEdit>
#include <QRadioButton>

namespace {

const QString kChooseTransport = QStringLiteral("Debe Elegir un Protocolo");

} // namespace

ClientEndpoint::ClientEndpoint(SocketControl& winsock2, QRadioButton& option1,
                               QRadioButton& option2, QLineEdit& txtIP, QLineEdit& txtPort2,
                               QLineEdit& txtSend2, LogPane& text4, CodeList& codeList,
                               OperatorMessages& messages)
    : m_winsock2(winsock2)
    , m_option1(option1)
    , m_option2(option2)
    , m_txtIP(txtIP)
    , m_txtPort2(txtPort2)
    , m_txtSend2(txtSend2)
    , m_text4(text4)
    , m_codeList(codeList)
    , m_messages(messages)
{
}

void ClientEndpoint::bntConnect_Click()
{
    const auto failure = trapFailure([this] {
        if (!m_option1.isChecked() && !m_option2.isChecked()) {
            m_messages.show(kChooseTransport, MessageIcon::Exclamation);
            return;
        }
        m_winsock2.Close();
        m_winsock2.setRemoteHost(m_txtIP.text());
        m_winsock2.setRemotePort(toInt32(m_txtPort2.text(), u"Puerto"));
        m_winsock2.Connect();
    });
    if (failure)
        m_messages.show(errorMessageText(*failure), MessageIcon::Critical);
}

void ClientEndpoint::Command1_Click()
{
    m_winsock2.Close();
    Winsock2_Close();
}

void ClientEndpoint::sendAndLog()
{
    m_winsock2.SendData(OutgoingText::textToSend(m_txtSend2));
    AppendLog(m_text4, u"Cliente : ", OutgoingText::textToSend(m_txtSend2));
    m_txtSend2.setText(QString());
}

void ClientEndpoint::bntSend2_Click()
{
    const auto failure = trapFailure([this] {
        if (m_option1.isChecked()) {
            sendAndLog();
            return;
        }
        if (m_option2.isChecked()) {
            m_winsock2.setRemoteHost(m_txtIP.text());
            m_winsock2.setRemotePort(toInt32(m_txtPort2.text(), u"Puerto"));
            sendAndLog();
            m_txtSend2.setFocus();
            return;
        }
        m_messages.show(kChooseTransport, MessageIcon::Exclamation);
    });
    if (failure) {
        m_messages.show(errorMessageText(*failure), MessageIcon::None);
        Winsock2_Close();
    }
}

void ClientEndpoint::Winsock2_Connect()
{
    AppendLog(m_text4, u"Conectado a ", m_winsock2.remoteHostIP());
}

void ClientEndpoint::Winsock2_DataArrival(std::int32_t)
{
    const QByteArray text = m_winsock2.GetData();
    m_codeList.AddCodeRow(text);
    AppendLog(m_text4, u"Servidor : ", text);
}

void ClientEndpoint::Winsock2_Close()
{
    m_winsock2.Close();
    AppendLog(m_text4, u"*** Desconectado");
}

void ClientEndpoint::Winsock2_Error(std::int16_t, const QString& description)
{
    AppendLog(m_text4, u"*** Error : ", description);
    Winsock2_Close();
}
