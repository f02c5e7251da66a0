#pragma once

#include "net/SocketControl.h"
#include "base/OperatorMessages.h"
#include "views/ViewActions.h"
#include "serial/SerialControl.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class CharInsertion;
class ClientEndpoint;
class ServerEndpoint;
class CodeList;
class CodeListView;
class LogPane;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class SerialLink;
class SessionRecord;
class TransportChoice;

// What the window is built on besides Qt's widgets. Anything left empty is filled with the
// real thing (message boxes, Qt Network sockets, QSerialPort with ports numbered in /dev);
// tests hand in their own.
struct ServerFrmPlatform {
    std::unique_ptr<OperatorMessages> messages;
    std::unique_ptr<SocketControl> winsock1;
    std::unique_ptr<SocketControl> winsock2;
    std::unique_ptr<SerialControl> mscomm1;
    // Where serial port numbers find their devices (and comN aliases); empty: /dev.
    QString serialDeviceDirectory;
    // Where "Guardar como…" saves; empty: the file dialog asks the operator.
    AskSavePath askSavePath;
};

// The one window, "Servidor". It owns every control for its whole life, loads them from its
// stored design (the form ServerFrm.ui), and wires each control event to the handler named
// after it. The handlers themselves live in small classes by subsystem, each given only the
// controls it touches; only Form_Unload is the window's own.
class ServerFrm : public QWidget {
    Q_OBJECT

public:
    explicit ServerFrm(ServerFrmPlatform platform = {}, QWidget* parent = nullptr);
    ~ServerFrm() override;

    void Form_Unload();

    const CodeList& codeList() const { return *m_codeList; }
    // Everything received and logged in this session: the panes and the code list show it.
    SessionRecord& sessionRecord() const { return *m_record; }
    OperatorMessages& messages() const { return *m_messages; }

    // The controls, under their designer names.
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QGroupBox* Frame5 = nullptr;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;

    QLineEdit* txtPort = nullptr;
    QLineEdit* txtIP = nullptr;
    QLineEdit* txtPort2 = nullptr;
    QLineEdit* MaskEdBox1 = nullptr;
    QLineEdit* MaskEdBox2 = nullptr;
    QLineEdit* MaskEdBox3 = nullptr;
    QLineEdit* MaskEdBox4 = nullptr;
    QLineEdit* MaskEdBox5 = nullptr;
    QLineEdit* MaskEdBox6 = nullptr;

    QLineEdit* txtSend = nullptr;
    QLineEdit* txtSend2 = nullptr;
    QLineEdit* Text1 = nullptr;
    LogPane* Text2 = nullptr;
    LogPane* Text3 = nullptr;
    LogPane* Text4 = nullptr;

    QPushButton* bntListen = nullptr;
    QPushButton* bntSend = nullptr;
    QPushButton* bntConnect = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* bntSend2 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command6 = nullptr;

    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option3 = nullptr;
    QRadioButton* Option4 = nullptr;
    QRadioButton* Option5 = nullptr;

    CodeListView* ListView1 = nullptr;

    std::unique_ptr<SocketControl> Winsock1;
    std::unique_ptr<SocketControl> Winsock2;
    // Not closed by Form_Unload: the port goes away with the window.
    std::unique_ptr<SerialControl> MSComm1;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Creates the controls from the form and applies what a form cannot hold.
    void loadDesign();
    void wireEvents();
    // "Copiar", "Seleccionar todo" and "Guardar como…" on the three log panes and the list.
    void installViewActions(AskSavePath ask);
    // Delivers a control's event to its handler through the dispatch point.
    template <typename Sender, typename Signal, typename Handler>
    void wire(Sender* sender, Signal signal, Handler handler);
    void dispatch(const std::function<void()>& handler);
    void tellMemoryShort(qint64 heldBytes);

    std::unique_ptr<OperatorMessages> m_messages;

    std::unique_ptr<SessionRecord> m_record;
    std::unique_ptr<CodeList> m_codeList;
    std::unique_ptr<TransportChoice> m_transportChoice;
    std::unique_ptr<ServerEndpoint> m_serverEndpoint;
    std::unique_ptr<ClientEndpoint> m_clientEndpoint;
    std::unique_ptr<CharInsertion> m_charInsertion;
    std::unique_ptr<SerialLink> m_serialLink;
};
