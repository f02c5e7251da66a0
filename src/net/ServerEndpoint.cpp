#include "net/ServerEndpoint.h"

#include "base/FailureDispatch.h"
#include "base/NumberConversion.h"
#include "base/OperatorMessages.h"
#include "codes/CodeList.h"
#include "net/SocketControl.h"
#include "net/SocketStatus.h"
#include "views/LogPane.h"
#include "views/OutgoingText.h"
#include "views/StateLight.h"

#include <QLineEdit>
#include <QRadioButton>

ServerEndpoint::ServerEndpoint(SocketControl& winsock1, SocketControl& winsock2,
                               QRadioButton& option1, QRadioButton& option2, QLineEdit& txtPort,
                               QLineEdit& txtSend, LogPane& text3, LogPane& text4,
                               StateLight& light, CodeList& codeList, OperatorMessages& messages)
    : m_winsock1(winsock1)
    , m_winsock2(winsock2)
    , m_option1(option1)
    , m_option2(option2)
    , m_txtPort(txtPort)
    , m_txtSend(txtSend)
    , m_text3(text3)
    , m_text4(text4)
    , m_light(light)
    , m_codeList(codeList)
    , m_messages(messages)
{
}

void ServerEndpoint::bntListen_Click()
{
    // What the close before listening ended, told only if the listen then fails.
    QString closed;
    LogPane* closedPane = nullptr;
    const auto closeFirst = [&closed, &closedPane](SocketControl& socket, LogPane& pane) {
        closed = closingLine(socket);
        closedPane = &pane;
        socket.Close();
    };
    const auto failure = trapFailure([&] {
        if (m_option1.isChecked()) {
            closeFirst(m_winsock1, m_text3);
            m_winsock1.setLocalPort(toInt32(m_txtPort.text(), u"Escuchar en el puerto"));
            m_winsock1.Listen();
            return;
        }
        if (m_option2.isChecked()) {
            closeFirst(m_winsock2, m_text4);
            m_winsock2.Bind(m_txtPort.text());
            return;
        }
        m_messages.show(QStringLiteral("Elija un Protocolo"), MessageIcon::Critical);
    });
    if (failure) {
        if (!closed.isEmpty())
            AppendLog(*closedPane, closed);
        m_light.showFailure(*failure);
        m_messages.show(errorMessageText(*failure), MessageIcon::Critical);
    }
}

void ServerEndpoint::bntSend_Click()
{
    const auto failure = trapFailure([this] {
        if (m_option1.isChecked() || m_option2.isChecked()) {
            // A box its mode cannot read is told as a refused send is, but nothing was sent:
            // the peer stays connected.
            const auto text = OutgoingText::textToSend(m_txtSend, m_messages, MessageIcon::None);
            if (!text)
                return;
            m_winsock1.SendData(*text);
            AppendLog(m_text3, u"Servidor: ", *text);
            m_txtSend.setText(QString());
            m_txtSend.setFocus();
            return;
        }
        m_messages.show(QStringLiteral("Elijan un Protocolo"), MessageIcon::Exclamation);
    });
    if (failure) {
        m_light.showFailure(*failure);
        m_messages.show(errorMessageText(*failure), MessageIcon::None);
        Winsock1_Close();
    }
}

void ServerEndpoint::Winsock1_ConnectionRequest(std::int32_t requestID)
{
    if (m_winsock1.state() != SocketControl::Closed)
        m_winsock1.Close();
    m_winsock1.Accept(requestID);
    AppendLog(m_text3, u"Cliente conectado. IP : ", m_winsock1.remoteHostIP());
}

void ServerEndpoint::Winsock1_DataArrival(std::int32_t)
{
    const QByteArray text = m_winsock1.GetData();
    m_codeList.AddCodeRow(text);
    AppendLog(m_text3, u"Cliente : ", text);
}

void ServerEndpoint::Winsock1_Close()
{
    m_winsock1.Close();
    AppendLog(m_text3, u"*** Desconectado");
    bntListen_Click();
}

void ServerEndpoint::Winsock1_Error(std::int16_t, const QString& description)
{
    AppendLog(m_text3, u"*** Error : ", description);
    Winsock1_Close();
}
