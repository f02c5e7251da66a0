#pragma once

#include "app/ServerFrm.h"
#include "app/ServerFrmControls.h"
#include "support/RecordingMessages.h"

#include <deque>
#include <memory>
#include <vector>

// The question closing the window asks, answered without a box.
struct CloseQuestions {
    // Each question's text, in order.
    std::vector<QString> asked;
    // The answers to give, in turn; then "Cerrar sin guardar".
    std::deque<CloseAnswer> answers;
};

// What "Grabar en archivo…" asks when the session holds rows already, answered without a box.
struct CaptureQuestions {
    std::vector<QString> asked;
    CaptureStart answer = CaptureStart::FromNow;
};

// The real window, shown offscreen, with its messages recorded. The platform's messages are
// always the recorder, the close question is answered by closeQuestions and the capture's by
// captureQuestions unless the platform answers them; anything else it holds is handed to the
// window.
struct WindowUnderTest {
    WindowUnderTest();
    explicit WindowUnderTest(ServerFrmPlatform platform);
    ~WindowUnderTest();

    ServerFrm& operator*() { return *window; }
    ServerFrm* operator->() { return window.get(); }

    RecordingMessages* messages = nullptr;
    std::shared_ptr<CloseQuestions> closeQuestions = std::make_shared<CloseQuestions>();
    std::shared_ptr<CaptureQuestions> captureQuestions = std::make_shared<CaptureQuestions>();
    // The window's controls, under their designer names.
    const Ui::ServerFrm* ui = nullptr;
    std::unique_ptr<ServerFrm> window;
};

// Chooses entries of an outgoing box's context menu as a right click opens it, each a path:
// "Hexadecimal", "Fin de línea/CR". Returns false if one is not there.
bool chooseInBoxMenu(QLineEdit& box, const QStringList& entries);
// Turns a pane's option ("Eco local", "Reconectar automáticamente") on or off, as its context
// menu does. Returns false if the pane has no such option.
bool setPaneOption(QWidget& pane, const QString& option, bool on);

// "Poner a la escucha" with the port field set to the given port.
void listenOn(WindowUnderTest& w, quint16 port);
// Chooses TCP and listens on a port nothing else holds; returns that port.
quint16 listenUnderTcp(WindowUnderTest& w);
