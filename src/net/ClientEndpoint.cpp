#include "net/ClientEndpoint.h"

#include "base/FailureDispatch.h"
#include "base/NumberConversion.h"
#include "base/OperatorMessages.h"
#include "codes/CodeList.h"
#include "net/ClientReconnect.h"
#include "net/SocketControl.h"
#include "net/SocketStatus.h"
#include "views/LogPane.h"
#include "views/OutgoingText.h"
#include "views/StateLight.h"

#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>

namespace {

const QString kChooseTransport = QStringLiteral("Debe Elegir un Protocolo");

} // namespace

ClientEndpoint::ClientEndpoint(SocketControl& winsock2, QRadioButton& option1,
                               QRadioButton& option2, QLineEdit& txtIP, QLineEdit& txtPort2,
                               QLineEdit& txtSend2, LogPane& text4, StateLight& light,
                               ClientReconnect& reconnect, CodeList& codeList,
                               OperatorMessages& messages)
    : m_winsock2(winsock2)
    , m_option1(option1)
    , m_option2(option2)
    , m_txtIP(txtIP)
    , m_txtPort2(txtPort2)
    , m_txtSend2(txtSend2)
    , m_text4(text4)
    , m_light(light)
    , m_reconnect(reconnect)
    , m_codeList(codeList)
    , m_messages(messages)
{
    // The end of a UDP "Enviar" whose datagram waited for its host name (see sendDatagram).
    m_sentConnection = QObject::connect(&m_winsock2, &SocketControl::datagramSent, [this] {
        runHandler(m_messages, [this] { finishWaitingSend(); });
    });
    m_refusedConnection = QObject::connect(
        &m_winsock2, &SocketControl::datagramRefused, [this](const QString& description) {
            runHandler(m_messages, [this, &description] { refuseWaitingSend(description); });
        });
}

ClientEndpoint::~ClientEndpoint()
{
    QObject::disconnect(m_sentConnection);
    QObject::disconnect(m_refusedConnection);
}

void ClientEndpoint::bntConnect_Click()
{
    // What the close before connecting ended, told only if the connect then fails.
    QString closed;
    // The operator takes over from a reconnection in progress.
    m_reconnect.stop();
    const auto failure = trapFailure([this, &closed] {
        if (!m_option1.isChecked() && !m_option2.isChecked()) {
            m_messages.show(kChooseTransport, MessageIcon::Exclamation);
            return;
        }
        closed = closingLine(m_winsock2);
        m_winsock2.Close();
        m_winsock2.setRemoteHost(m_txtIP.text());
        m_winsock2.setRemotePort(toInt32(m_txtPort2.text(), u"Puerto"));
        m_winsock2.Connect();
    });
    if (failure) {
        if (!closed.isEmpty())
            AppendLog(m_text4, closed);
        m_light.showFailure(*failure);
        m_messages.show(errorMessageText(*failure), MessageIcon::Critical);
    }
}

void ClientEndpoint::Command1_Click()
{
    m_reconnect.stop();
    m_winsock2.Close();
    Winsock2_Close();
}

void ClientEndpoint::sendAndLog(const QString& text)
{
    m_winsock2.SendData(text);
    AppendLog(m_text4, u"Cliente : ", text);
    m_txtSend2.setText(QString());
}

void ClientEndpoint::bntSend2_Click()
{
    const auto failure = trapFailure([this] {
        if (!m_option1.isChecked() && !m_option2.isChecked()) {
            m_messages.show(kChooseTransport, MessageIcon::Exclamation);
            return;
        }
        // A box its mode cannot read is told as a refused send is, but nothing was sent: the
        // connection stays.
        const auto text = OutgoingText::textToSend(m_txtSend2, m_messages, MessageIcon::None);
        if (!text)
            return;
        if (m_option1.isChecked()) {
            sendAndLog(*text);
            return;
        }
        m_winsock2.setRemoteHost(m_txtIP.text());
        m_winsock2.setRemotePort(toInt32(m_txtPort2.text(), u"Puerto"));
        sendDatagram(*text);
    });
    if (failure)
        refuseSend(*failure);
}

void ClientEndpoint::refuseSend(const QString& description)
{
    // The operator is told, and closes the link: nothing is retried behind the message.
    m_reconnect.stop();
    m_light.showFailure(description);
    m_messages.show(errorMessageText(description), MessageIcon::None);
    Winsock2_Close();
}

// A datagram to a name that only a name server knows goes out after this handler has returned:
// the window goes on answering while the name is looked up (a few seconds at most). What
// follows a send, the "Cliente : " line, the emptied box and the focus, waits for it, in the
// same order; a name that is not found, or not in time, ends in this handler's trap like any
// refused send. So nothing is logged that did not go out. Names the machine knows by itself go
// out at once, and the handler ends as it always did.
void ClientEndpoint::sendDatagram(const QString& text)
{
    // A Close (another button, a transport choice) drops waiting datagrams unsent: they were
    // never logged, and their text stayed in the box.
    if (m_winsock2.datagramsWaiting() == 0)
        m_waiting.clear();
    const QString shown = m_txtSend2.text();
    m_winsock2.SendData(text);
    if (m_winsock2.datagramsWaiting() > 0) {
        m_waiting.push_back({shown, text, QApplication::focusWidget()});
        return;
    }
    AppendLog(m_text4, u"Cliente : ", text);
    m_txtSend2.setText(QString());
    m_txtSend2.setFocus();
}

void ClientEndpoint::finishWaitingSend()
{
    if (m_waiting.empty())
        return;
    const WaitingSend send = m_waiting.front();
    m_waiting.pop_front();
    AppendLog(m_text4, u"Cliente : ", send.sent);
    if (m_wentOut)
        m_wentOut(send.shown);
    // What the operator typed meanwhile is kept; only the text that went out is taken away.
    if (m_txtSend2.text() == send.shown)
        m_txtSend2.setText(QString());
    // Nor is the focus taken from where the operator has moved it since.
    if (QApplication::focusWidget() == send.focus)
        m_txtSend2.setFocus();
}

void ClientEndpoint::whenWaitingSendWentOut(std::function<void(const QString& shown)> told)
{
    m_wentOut = std::move(told);
}

void ClientEndpoint::refuseWaitingSend(const QString& description)
{
    if (m_waiting.empty())
        return;
    m_waiting.pop_front();
    refuseSend(description);
}

void ClientEndpoint::Winsock2_Connect()
{
    AppendLog(m_text4, u"Conectado a ", m_winsock2.remoteHostIP());
    m_reconnect.connected();
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
    m_waiting.clear();
    AppendLog(m_text4, u"*** Desconectado");
    m_reconnect.lost();
}

void ClientEndpoint::Winsock2_Error(std::int16_t, const QString& description)
{
    // An attempt of the reconnection that failed: closed, and tried again later, unlogged.
    if (m_reconnect.attemptFailed()) {
        m_winsock2.Close();
        return;
    }
    AppendLog(m_text4, u"*** Error : ", description);
    Winsock2_Close();
}
