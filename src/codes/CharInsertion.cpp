#include "codes/CharInsertion.h"

#include "base/ControlError.h"
#include "base/NumberConversion.h"
#include "base/OperatorMessages.h"
#include "views/OutgoingText.h"

#include <QLineEdit>
#include <QRadioButton>

CharInsertion::CharInsertion(QLineEdit& maskEdBox6, QRadioButton& option3, QRadioButton& option4,
                             QRadioButton& option5, QLineEdit& txtSend, QLineEdit& txtSend2,
                             QLineEdit& text1, OperatorMessages& messages)
    : m_maskEdBox6(maskEdBox6)
    , m_option3(option3)
    , m_option4(option4)
    , m_option5(option5)
    , m_txtSend(txtSend)
    , m_txtSend2(txtSend2)
    , m_text1(text1)
    , m_messages(messages)
{
}

void CharInsertion::Command5_Click()
{
    m_charCode = toInt32(m_maskEdBox6.text(), u"Código ASCII");

    QLineEdit* destination = nullptr;
    if (m_option3.isChecked())
        destination = &m_txtSend;
    else if (m_option4.isChecked())
        destination = &m_txtSend2;
    else if (m_option5.isChecked())
        destination = &m_text1;
    else {
        m_messages.show(QStringLiteral("Elija un Destino"), MessageIcon::Critical);
        return;
    }

    if (m_charCode < 0 || m_charCode > 255) {
        throw ControlError(
            QStringLiteral(
                "El código %1 no corresponde a ningún carácter: escriba un código de 0 a 255.")
                .arg(m_charCode));
    }

    // Appended at the end whatever the caret, as the box's mode writes it (a control character
    // as its picture in text mode, its escape, or two hexadecimal digits); the caret and
    // selection stay where they were.
    const int cursor = destination->cursorPosition();
    const int selectionStart = destination->selectionStart();
    const int selectionLength = destination->selectionLength();
    destination->setText(OutgoingText::withByte(destination->text(),
                                                static_cast<unsigned char>(m_charCode),
                                                OutgoingText::formatOf(*destination).mode));
    if (selectionStart >= 0)
        destination->setSelection(selectionStart, selectionLength);
    else
        destination->setCursorPosition(cursor);
}
