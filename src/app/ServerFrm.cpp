#include "app/ServerFrm.h"
#include "ui_ServerFrm.h"

#include "app/EnterKey.h"
#include "app/LinkLights.h"
#include "app/OutgoingBox.h"
#include "base/FailureDispatch.h"
#include "codes/CharInsertion.h"
#include "codes/CodeList.h"
#include "codes/CodeListView.h"
#include "net/ClientEndpoint.h"
#include "net/ClientReconnect.h"
#include "net/QtSocketControl.h"
#include "net/ServerEndpoint.h"
#include "net/TransportChoice.h"
#include "record/SessionRecord.h"
#include "serial/QtSerialControl.h"
#include "serial/SerialLink.h"
#include "serial/SerialPortHint.h"
#include "serial/SerialPortNumbering.h"
#include "serial/SerialReconnect.h"
#include "views/LocalEcho.h"
#include "views/LogPane.h"
#include "views/MessageBoxMessages.h"
#include "views/SessionKeeping.h"
#include "views/StateLight.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>

#include <type_traits>

namespace {

// Calls a handler with the event's arguments, or with none when it takes none: a click's
// "checked" flag is no handler's business.
template <typename Handler, typename... Arguments>
void callHandler(const Handler& handler, const Arguments&... arguments)
{
    if constexpr (std::is_invocable_v<Handler, const Arguments&...>)
        handler(arguments...);
    else
        handler();
}

SerialPortNumbering serialNumbering(const QString& directory)
{
    return directory.isEmpty() ? SerialPortNumbering() : SerialPortNumbering(directory);
}

} // namespace

ServerFrm::ServerFrm(ServerFrmPlatform platform, QWidget* parent)
    : QWidget(parent)
    , Winsock1(platform.winsock1 ? std::move(platform.winsock1)
                                 : std::make_unique<QtSocketControl>())
    , Winsock2(platform.winsock2 ? std::move(platform.winsock2)
                                 : std::make_unique<QtSocketControl>())
    , MSComm1(platform.mscomm1 ? std::move(platform.mscomm1)
                               : std::make_unique<QtSerialControl>(
                                     serialNumbering(platform.serialDeviceDirectory)))
    , m_messages(platform.messages ? std::move(platform.messages)
                                   : std::make_unique<MessageBoxMessages>(this))
    , m_askSavePath(platform.askSavePath ? std::move(platform.askSavePath)
                                         : askSavePathWithDialog())
    , m_askClose(platform.askClose ? std::move(platform.askClose) : askCloseWithMessageBox())
    , m_askCaptureStart(std::move(platform.askCaptureStart))
{
    loadDesign();

    m_record = std::make_unique<SessionRecord>();
    m_keeping = std::make_unique<SessionKeeping>(*m_record);
    m_ui->Text3->attach(*m_record, Link::Server);
    m_ui->Text4->attach(*m_record, Link::Client);
    m_ui->Text2->attach(*m_record, Link::Serial);
    m_codeList = std::make_unique<CodeList>(*m_ui->ListView1, *m_record);
    m_transportChoice = std::make_unique<TransportChoice>(
        *Winsock1, *Winsock2, *m_ui->bntConnect, *m_ui->Command1, *m_ui->Text3, *m_ui->Text4);
    m_serverEndpoint = std::make_unique<ServerEndpoint>(
        *Winsock1, *Winsock2, *m_ui->Option1, *m_ui->Option2, *m_ui->txtPort, *m_ui->txtSend,
        *m_ui->Text3, *m_ui->Text4, *m_serverLight, *m_codeList, *m_messages);
    m_clientReconnect = std::make_unique<ClientReconnect>(*Winsock2);
    m_clientEndpoint = std::make_unique<ClientEndpoint>(
        *Winsock2, *m_ui->Option1, *m_ui->Option2, *m_ui->txtIP, *m_ui->txtPort2, *m_ui->txtSend2,
        *m_ui->Text4, *m_clientLight, *m_clientReconnect, *m_codeList, *m_messages);
    m_charInsertion = std::make_unique<CharInsertion>(
        *m_ui->MaskEdBox6, *m_ui->Option3, *m_ui->Option4, *m_ui->Option5, *m_ui->txtSend,
        *m_ui->txtSend2, *m_ui->Text1, *m_messages);
    m_localEcho = std::make_unique<LocalEcho>(*m_ui->Text2);
    m_serialReconnect = std::make_unique<SerialReconnect>(*MSComm1, *m_ui->Text2);
    m_serialLink = std::make_unique<SerialLink>(
        *MSComm1, *m_ui->MaskEdBox1, *m_ui->MaskEdBox2, *m_ui->MaskEdBox3, *m_ui->MaskEdBox4,
        *m_ui->MaskEdBox5, *m_ui->Text1, *m_ui->Text2, *m_localEcho, *m_serialLight, *m_codeList,
        *m_messages);
    new SerialPortHint(serialNumbering(platform.serialDeviceDirectory), *m_ui->MaskEdBox1);
    // Before the handlers are wired: a lamp shows a loss before its handler's messages.
    m_linkLights =
        std::make_unique<LinkLights>(*Winsock1, *Winsock2, *MSComm1, *m_serverLight, *m_clientLight,
                                     *m_serialLight, *m_clientReconnect, *m_serialReconnect);
    wireEvents();
    installViewActions();

    if (const QScreen* shown = screen()) {
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        shown->availableGeometry()));
    }
    m_ui->txtPort->setFocus();
}

ServerFrm::~ServerFrm()
{
    // The handlers go before the control does.
    MSComm1->setOnCommHandler({});
}

template <typename Sender, typename Signal, typename Handler>
void ServerFrm::wire(Sender* sender, Signal signal, Handler handler)
{
    connect(sender, signal, this, [this, handler](auto... arguments) {
        dispatch([&] { callHandler(handler, arguments...); });
    });
}

void ServerFrm::wireEvents()
{
    using Button = QAbstractButton;
    auto* transport = m_transportChoice.get();
    // A choice runs its handler when it changes (by click or arrow key); a click on the option
    // already chosen changes nothing, so it must not close a live connection. A change ends a
    // reconnection of the client.
    auto* clientReconnect = m_clientReconnect.get();
    wire(m_ui->Option1, &Button::toggled, [transport, clientReconnect](bool chosen) {
        if (!chosen)
            return;
        clientReconnect->stop();
        transport->Option1_Click();
    });
    wire(m_ui->Option2, &Button::toggled, [transport, clientReconnect](bool chosen) {
        if (!chosen)
            return;
        clientReconnect->stop();
        transport->Option2_Click();
    });

    auto* server = m_serverEndpoint.get();
    wire(m_ui->bntListen, &Button::clicked, [server] { server->bntListen_Click(); });
    // Each "Enviar" runs through its box, which remembers what went out and gives it Enter.
    auto* serverBox = new OutgoingBox(*m_ui->txtSend, *m_ui->bntSend);
    wire(m_ui->bntSend, &Button::clicked,
         [server, serverBox] { serverBox->send([server] { server->bntSend_Click(); }); });
    wire(Winsock1.get(), &SocketControl::connectionRequest,
         [server](std::int32_t requestID) { server->Winsock1_ConnectionRequest(requestID); });
    wire(Winsock1.get(), &SocketControl::dataArrival,
         [server](std::int32_t bytesTotal) { server->Winsock1_DataArrival(bytesTotal); });
    wire(Winsock1.get(), &SocketControl::peerClosed, [server] { server->Winsock1_Close(); });
    wire(Winsock1.get(), &SocketControl::errorOccurred,
         [server](std::int16_t number, const QString& description) {
             server->Winsock1_Error(number, description);
         });

    auto* client = m_clientEndpoint.get();
    wire(m_ui->bntConnect, &Button::clicked, [client] { client->bntConnect_Click(); });
    wire(m_ui->Command1, &Button::clicked, [client] { client->Command1_Click(); });
    auto* clientBox = new OutgoingBox(*m_ui->txtSend2, *m_ui->bntSend2);
    wire(m_ui->bntSend2, &Button::clicked,
         [client, clientBox] { clientBox->send([client] { client->bntSend2_Click(); }); });
    client->whenWaitingSendWentOut([clientBox](const QString& sent) { clientBox->remember(sent); });
    wire(Winsock2.get(), &SocketControl::connected, [client] { client->Winsock2_Connect(); });
    wire(Winsock2.get(), &SocketControl::dataArrival,
         [client](std::int32_t bytesTotal) { client->Winsock2_DataArrival(bytesTotal); });
    wire(Winsock2.get(), &SocketControl::peerClosed, [client] { client->Winsock2_Close(); });
    wire(Winsock2.get(), &SocketControl::errorOccurred,
         [client](std::int16_t number, const QString& description) {
             client->Winsock2_Error(number, description);
         });

    auto* serial = m_serialLink.get();
    // "Conectar" and "Desconectar" take over from a reconnection in progress.
    auto* serialReconnect = m_serialReconnect.get();
    wire(m_ui->Command2, &Button::clicked, [serial, serialReconnect] {
        serialReconnect->stop();
        serial->Command2_Click();
    });
    auto* serialBox = new OutgoingBox(*m_ui->Text1, *m_ui->Command3);
    wire(m_ui->Command3, &Button::clicked,
         [serial, serialBox] { serialBox->send([serial] { serial->Command3_Click(); }); });
    wire(m_ui->Command4, &Button::clicked, [serial, serialReconnect] {
        serialReconnect->stop();
        serial->Command4_Click();
    });
    wire(m_ui->Command6, &Button::clicked, [serial] { serial->Command6_Click(); });
    // One notification per character received: handed over without a signal.
    MSComm1->setOnCommHandler([this, serial] { dispatch([serial] { serial->MSComm1_OnComm(); }); });
    // A port lost while open is told like any failure of a handler, unless it is being opened
    // again by itself: then the pane tells the loss and the return.
    connect(MSComm1.get(), &SerialControl::failed, this, [this](const QString& description) {
        if (!m_serialReconnect->portLost())
            m_messages->show(errorMessageText(description), MessageIcon::Critical);
    });

    auto* insertion = m_charInsertion.get();
    wire(m_ui->Command5, &Button::clicked, [insertion] { insertion->Command5_Click(); });

    // Enter in a field is a click on its frame's button.
    clickOnEnter(*m_ui->txtPort, *m_ui->bntListen);
    for (QLineEdit* field : {m_ui->txtIP, m_ui->txtPort2})
        clickOnEnter(*field, *m_ui->bntConnect);
    for (QLineEdit* field :
         {m_ui->MaskEdBox1, m_ui->MaskEdBox5, m_ui->MaskEdBox2, m_ui->MaskEdBox3, m_ui->MaskEdBox4})
        clickOnEnter(*field, *m_ui->Command2);
    clickOnEnter(*m_ui->MaskEdBox6, *m_ui->Command5);

    // Told from the event loop, never inside the receive handler that crossed the limit: the
    // links keep being read while the message is up.
    connect(m_record.get(), &SessionRecord::memoryShort, this, &ServerFrm::tellMemoryShort,
            Qt::QueuedConnection);
    // A TCP flood faster than the record compresses waits in the system, held back by TCP,
    // instead of piling up uncompressed here; datagrams and serial characters cannot wait.
    connect(m_record.get(), &SessionRecord::behindChanged, this, [this](bool behind) {
        Winsock1->setReadingHeld(behind);
        Winsock2->setReadingHeld(behind);
    });
}

void ServerFrm::tellMemoryShort(qint64 heldBytes)
{
    const qint64 megabytes = heldBytes >> 20;
    m_messages->show(
        QStringLiteral("La sesión ocupa ya %1 MB de memoria y la memoria del equipo empieza a "
                       "escasear. No se ha perdido ningún byte y la recepción sigue, pero si la "
                       "memoria se agota el sistema puede cerrar el programa y todo lo recibido "
                       "se perdería.\n\nGuarde lo recibido con \"Guardar como…\" (menú "
                       "contextual de cada panel y de la lista de códigos) y cierre la ventana "
                       "para empezar una sesión nueva. \"Limpiar\" y \"Limpiar lista\" vacían "
                       "lo que se ve, pero la sesión sigue guardando cada byte recibido.")
            .arg(megabytes),
        MessageIcon::Exclamation);
}

void ServerFrm::dispatch(const std::function<void()>& handler)
{
    runHandler(*m_messages, handler);
}

void ServerFrm::Form_Unload()
{
    Winsock1->Close();
    Winsock2->Close();
}
