#pragma once

#include "base/OperatorMessages.h"
#include "codes/SessionCapture.h"
#include "net/SocketControl.h"
#include "serial/SerialControl.h"
#include "views/CloseQuestion.h"
#include "views/ViewActions.h"

#include <QList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class CharInsertion;
class ClientEndpoint;
class ServerEndpoint;
class ClientReconnect;
class CodeList;
class FileSave;
class LinkLights;
class LocalEcho;
class SerialLink;
class SerialReconnect;
class SessionKeeping;
class SessionRecord;
class StateLight;
class TransportChoice;
namespace Ui {
class ServerFrm;
}

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
    // Whether to close when that would lose received bytes; empty: a message box asks.
    AskClose askClose;
    // Whether "Grabar en archivo…" begins with the session; empty: a message box asks.
    AskCaptureStart askCaptureStart;
};

// The one window, "Servidor". It owns every control for its whole life, loads them from its
// stored design (the form ServerFrm.ui), and wires each control event to the handler named
// after it. The handlers themselves live in small classes by subsystem, each given only the
// controls it touches; only Form_Unload is the window's own.
//
// Beside each frame's caption a lamp shows the state of the frame's link (LinkLights). A close
// that would lose received bytes no file keeps, or cut a save short, asks first.
//
// The options the operator may turn on live in the context menus of the boxes and panes they
// concern, for the window's life: each outgoing box's format (OutgoingBox), the serial
// pane's "Eco local" (LocalEcho), and "Reconectar automáticamente" on the serial and client
// panes (SerialReconnect, ClientReconnect).
class ServerFrm : public QWidget {
    Q_OBJECT

public:
    explicit ServerFrm(ServerFrmPlatform platform = {}, QWidget* parent = nullptr);
    ~ServerFrm() override;

    void Form_Unload();

    const CodeList& codeList() const { return *m_codeList; }
    // Everything received and logged in this session: the panes and the code list show it.
    SessionRecord& sessionRecord() const { return *m_record; }
    // Which received bytes are kept in files, or being written to one.
    SessionKeeping& sessionKeeping() const { return *m_keeping; }
    // "Grabar en archivo…" on the code list.
    SessionCapture& sessionCapture() const { return *m_capture; }
    OperatorMessages& messages() const { return *m_messages; }

    // The controls of the stored design, under their designer names; handlers get theirs at
    // construction, and the screenshot, the benchmark and the tests reach them here.
    const Ui::ServerFrm& controls() const { return *m_ui; }

    std::unique_ptr<SocketControl> Winsock1;
    std::unique_ptr<SocketControl> Winsock2;
    // Not closed by Form_Unload: the port goes away with the window.
    std::unique_ptr<SerialControl> MSComm1;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Creates the controls from the form and applies what a form cannot hold, with the lamps
    // beside the frames' captions.
    void loadDesign();
    void wireEvents();
    // "Copiar", "Seleccionar todo" and "Guardar como…" on the three log panes and the list,
    // and the panes' options.
    void installViewActions();
    // Saving, as it counts for closing (ServerFrmClosing.cpp): each save the window starts is
    // watched, and what it keeps of the session is told to m_keeping (writer 0: nothing).
    void watchSave(FileSave* save, int keepingWriter);
    // Asks for a file and saves the whole session there as CSV; false if none was named.
    bool saveSessionBeforeClosing();
    // Delivers a control's event to its handler through the dispatch point.
    template <typename Sender, typename Signal, typename Handler>
    void wire(Sender* sender, Signal signal, Handler handler);
    void dispatch(const std::function<void()>& handler);
    void tellMemoryShort(qint64 heldBytes);

    std::unique_ptr<Ui::ServerFrm> m_ui;
    std::unique_ptr<OperatorMessages> m_messages;

    std::unique_ptr<SessionRecord> m_record;
    std::unique_ptr<CodeList> m_codeList;
    std::unique_ptr<TransportChoice> m_transportChoice;
    std::unique_ptr<ServerEndpoint> m_serverEndpoint;
    std::unique_ptr<ClientReconnect> m_clientReconnect;
    std::unique_ptr<ClientEndpoint> m_clientEndpoint;
    std::unique_ptr<CharInsertion> m_charInsertion;
    std::unique_ptr<SerialReconnect> m_serialReconnect;
    std::unique_ptr<SerialLink> m_serialLink;
    std::unique_ptr<LocalEcho> m_localEcho;

    StateLight* m_serverLight = nullptr;
    StateLight* m_clientLight = nullptr;
    StateLight* m_serialLight = nullptr;

    AskSavePath m_askSavePath;
    AskClose m_askClose;
    std::unique_ptr<SessionKeeping> m_keeping;
    AskCaptureStart m_askCaptureStart;
    // Gone before the record and m_keeping: it writes what it was given to the end first.
    std::unique_ptr<SessionCapture> m_capture;
    // The list's save whose content was just taken: what it keeps, once it is watched.
    int m_takenWriter = 0;
    QList<FileSave*> m_saves;
    // "Guardar…" was the answer: the window closes once the saves have finished well.
    bool m_closeWhenSaved = false;

    // Gone first: the controls' last signals, as they close, reach no lamp.
    std::unique_ptr<LinkLights> m_linkLights;
};
