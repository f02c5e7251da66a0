#pragma once

#include <cstdint>

class OperatorMessages;
class QLineEdit;
class QRadioButton;

// "Chr": appends the character with the code typed in MaskEdBox6 to the outgoing text chosen
// with "Server Text", "Client Text" or "Serial Port". Nothing is sent here. The character is
// written as the box's mode reads it (see OutgoingText): in text a control character shows as
// its picture; with escapes it may be an escape (\r, \x02); in hexadecimal it is two digits.
class CharInsertion {
public:
    CharInsertion(QLineEdit& maskEdBox6, QRadioButton& option3, QRadioButton& option4,
                  QRadioButton& option5, QLineEdit& txtSend, QLineEdit& txtSend2, QLineEdit& text1,
                  OperatorMessages& messages);

    void Command5_Click();

private:
    QLineEdit& m_maskEdBox6;
    QRadioButton& m_option3;
    QRadioButton& m_option4;
    QRadioButton& m_option5;
    QLineEdit& m_txtSend;
    QLineEdit& m_txtSend2;
    QLineEdit& m_text1;
    OperatorMessages& m_messages;
    // The last code read by "Chr".
    std::int32_t m_charCode = 0;
};
