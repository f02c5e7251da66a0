#pragma once

#include "views/StateLight.h"

class CodeList;
class LocalEcho;
class LogPane;
class OperatorMessages;
class QLineEdit;
class SerialControl;

// The "Puerto Serial" frame: "Conectar", "Enviar", "Desconectar", "Limpiar" and the serial
// control's notification. It keeps no state: whether the port is open, and how, is known
// only to MSComm1.
//
// None of the handlers catches a refusal of the control or of a number conversion: it ends
// the handler at that step and goes to the window's dispatch point, which tells the operator.
// A "Conectar" that fails shows the failure on the frame's lamp too, and if it had closed the
// open port before it failed, the pane says so first. What "Enviar" sends is shown in the pane
// too when the operator turned on its local echo.
class SerialLink {
public:
    SerialLink(SerialControl& mscomm1, QLineEdit& maskEdBox1, QLineEdit& maskEdBox2,
               QLineEdit& maskEdBox3, QLineEdit& maskEdBox4, QLineEdit& maskEdBox5,
               QLineEdit& text1, LogPane& text2, LocalEcho& echo, StateLight& light,
               CodeList& codeList, OperatorMessages& messages);

    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command6_Click();
    void MSComm1_OnComm();

private:
    void openPort();

    SerialControl& m_mscomm1;
    QLineEdit& m_maskEdBox1;
    QLineEdit& m_maskEdBox2;
    QLineEdit& m_maskEdBox3;
    QLineEdit& m_maskEdBox4;
    QLineEdit& m_maskEdBox5;
    QLineEdit& m_text1;
    LogPane& m_text2;
    LocalEcho& m_echo;
    StateLight& m_light;
    CodeList& m_codeList;
    OperatorMessages& m_messages;
};

// The "Puerto Serial" frame's lamp: "COM7 abierto a 9600,n,8,1", or "Cerrado"; amber while a
// lost port is being opened again by itself (reconnecting).
LightState serialLightState(const SerialControl& mscomm1, bool open, bool reconnecting = false);
