#include "app/ServerFrm.h"

#include "codes/CharInsertion.h"
#include "codes/CodeList.h"
#include "codes/CodeListView.h"
#include "net/QtSocketControl.h"
#include "net/TransportChoice.h"
#include "platform/FailureDispatch.h"
#include "platform/LogPane.h"
#include "platform/OperatorMessages.h"
#include "serial/QtSerialControl.h"
#include "serial/SerialLink.h"
#include "serial/SerialPortHint.h"
#include "serial/SerialPortNumbering.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>

namespace {

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
{
    buildFromLayout();

    m_codeList = std::make_unique<CodeList>(*ListView1);
    m_transportChoice =
        std::make_unique<TransportChoice>(*Winsock1, *Winsock2, *bntConnect, *Command1);
    m_charInsertion =
        std::make_unique<CharInsertion>(*MaskEdBox6, *Option3, *Option4, *Option5, *txtSend,
                                        *txtSend2, *Text1, charCode, *m_messages);
    m_serialLink =
        std::make_unique<SerialLink>(*MSComm1, *MaskEdBox1, *MaskEdBox2, *MaskEdBox3, *MaskEdBox4,
                                     *MaskEdBox5, *Text1, *Text2, *m_codeList, *m_messages);
    new SerialPortHint(serialNumbering(platform.serialDeviceDirectory), *MaskEdBox1);
    wireEvents();

    if (const QScreen* shown = screen()) {
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        shown->availableGeometry()));
    }
    txtPort->setFocus();
}

ServerFrm::~ServerFrm() = default;

void ServerFrm::wireEvents()
{
    onClick(Option1, [this] { m_transportChoice->Option1_Click(); });
    onClick(Option2, [this] { m_transportChoice->Option2_Click(); });
    onClick(Command5, [this] { m_charInsertion->Command5_Click(); });

    onClick(Command2, [this] { m_serialLink->Command2_Click(); });
    onClick(Command3, [this] { m_serialLink->Command3_Click(); });
    onClick(Command4, [this] { m_serialLink->Command4_Click(); });
    onClick(Command6, [this] { m_serialLink->Command6_Click(); });
    connect(MSComm1.get(), &SerialControl::onComm, this,
            [this] { dispatch([this] { m_serialLink->MSComm1_OnComm(); }); });
    // A port lost while open is told like any failure of a handler.
    connect(MSComm1.get(), &SerialControl::failed, this, [this](const QString& description) {
        m_messages->show(errorMessageText(description), MessageIcon::Critical);
    });
}

void ServerFrm::onClick(QAbstractButton* button, std::function<void()> handler)
{
    connect(button, &QAbstractButton::clicked, this,
            [this, handler = std::move(handler)] { dispatch(handler); });
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

void ServerFrm::closeEvent(QCloseEvent* event)
{
    dispatch([this] { Form_Unload(); });
    event->accept();
}
