#include "serial/SerialLink.h"

#include "base/ControlError.h"
#include "base/FailureDispatch.h"
#include "base/NumberConversion.h"
#include "base/OperatorMessages.h"
#include "base/SingleByteCodec.h"
#include "codes/CodeList.h"
#include "serial/Parities.h"
#include "serial/SerialControl.h"
#include "views/LocalEcho.h"
#include "views/LogPane.h"
#include "views/OutgoingText.h"

#include <QLineEdit>

SerialLink::SerialLink(SerialControl& mscomm1, QLineEdit& maskEdBox1, QLineEdit& maskEdBox2,
                       QLineEdit& maskEdBox3, QLineEdit& maskEdBox4, QLineEdit& maskEdBox5,
                       QLineEdit& text1, LogPane& text2, LocalEcho& echo, StateLight& light,
                       CodeList& codeList, OperatorMessages& messages)
    : m_mscomm1(mscomm1)
    , m_maskEdBox1(maskEdBox1)
    , m_maskEdBox2(maskEdBox2)
    , m_maskEdBox3(maskEdBox3)
    , m_maskEdBox4(maskEdBox4)
    , m_maskEdBox5(maskEdBox5)
    , m_text1(text1)
    , m_text2(text2)
    , m_echo(echo)
    , m_light(light)
    , m_codeList(codeList)
    , m_messages(messages)
{
}

// "Conectar"
void SerialLink::Command2_Click()
{
    const auto failure = trapFailure([this] { openPort(); });
    if (failure) {
        m_light.showFailure(*failure);
        throw ControlError(*failure);
    }
}

void SerialLink::openPort()
{
    const QString port = m_maskEdBox1.text();
    const QString dataBits = m_maskEdBox2.text();
    const QString parity = m_maskEdBox3.text();
    const QString stopBits = m_maskEdBox4.text();
    const QString speed = m_maskEdBox5.text();
    if (port.isEmpty() || dataBits.isEmpty() || parity.isEmpty() || stopBits.isEmpty() ||
        speed.isEmpty()) {
        m_messages.show(QStringLiteral("Complete los datos del Puerto"), MessageIcon::Exclamation);
        return;
    }

    const std::int16_t portNumber = toInt16(port, u"Com");
    const std::int32_t baud = toInt32(speed, u"Vel");
    const std::int16_t data = toInt16(dataBits, u"Dat");
    const std::int16_t stop = toInt16(stopBits, u"Bits");

    // Digits 5 to 9 name no parity: told here, in the field's terms, before anything is
    // written to the control.
    const ParityNames* parityNames = parityOfDigit(toDouble(parity, u"Par"));
    if (!parityNames) {
        throw ControlError(QStringLiteral("El campo «Par» debe ser un dígito de 0 a 4 (%1); %2 no "
                                          "nombra ninguna paridad.")
                               .arg(parityDigitChoices(), quoted(parity)));
    }
    const QChar letter(parityNames->letter);

    const QString settings =
        QStringLiteral("%1,%2,%3,%4").arg(baud).arg(letter).arg(data).arg(stop);

    m_mscomm1.setSettings(settings);
    m_mscomm1.setCommPort(portNumber);
    m_mscomm1.setInputLen(1);
    m_mscomm1.setInputMode(0);
    const bool wasOpen = m_mscomm1.portOpen();
    if (wasOpen)
        m_mscomm1.setPortOpen(false);
    try {
        m_mscomm1.setPortOpen(true);
    } catch (...) {
        // The port that was open is closed now: said before the refusal is told.
        if (wasOpen)
            AppendLog(m_text2, u"****Desconectado****");
        throw;
    }
    m_mscomm1.setRThreshold(1);
    m_mscomm1.setSThreshold(1);

    AppendLog(m_text2, u"Conectado....");
}

// "Enviar"
void SerialLink::Command3_Click()
{
    if (m_text1.text().isEmpty()) {
        m_messages.show(QStringLiteral("Ingreso datos para envío"), MessageIcon::Exclamation);
        return;
    }
    // A box its mode cannot read is told as any failure of this handler is.
    const auto text = OutgoingText::textToSend(m_text1, m_messages, MessageIcon::Critical);
    if (!text)
        return;
    m_mscomm1.setOutput(*text);
    m_echo.sent(SingleByteCodec::toBytes(*text));
    m_text1.setText(QString());
    m_text1.setFocus();
}

// "Desconectar"
void SerialLink::Command4_Click()
{
    m_mscomm1.setPortOpen(false);
    m_text2.append("****Desconectado****\r\n");
    m_text2.setSelLength(m_text2.length());
}

// "Limpiar"
void SerialLink::Command6_Click()
{
    m_text2.clear();
}

void SerialLink::MSComm1_OnComm()
{
    const QByteArray chunk = m_mscomm1.input();
    m_codeList.AddCodeRow(chunk);
    m_text2.appendReceived(chunk);
}

LightState serialLightState(const SerialControl& mscomm1, bool open, bool reconnecting)
{
    if (!open && reconnecting) {
        return {StateLight::Lamp::Amber,
                QStringLiteral("COM%1 perdido: se vuelve a abrir cada medio segundo")
                    .arg(mscomm1.commPort())};
    }
    if (!open)
        return {StateLight::Lamp::Off, QStringLiteral("Cerrado")};
    return {StateLight::Lamp::Green,
            QStringLiteral("COM%1 abierto a %2").arg(mscomm1.commPort()).arg(mscomm1.settings())};
}
