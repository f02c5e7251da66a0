#pragma once

#include "app/ServerFrm.h"
#include "app/ServerFrmControls.h"
#include "support/RecordingMessages.h"

#include <memory>

// The real window, shown offscreen, with its messages recorded. The platform's messages are
// always the recorder; anything else it holds is handed to the window.
struct WindowUnderTest {
    WindowUnderTest();
    explicit WindowUnderTest(ServerFrmPlatform platform);
    ~WindowUnderTest();

    ServerFrm& operator*() { return *window; }
    ServerFrm* operator->() { return window.get(); }

    RecordingMessages* messages = nullptr;
    // The window's controls, under their designer names.
    const Ui::ServerFrm* ui = nullptr;
    std::unique_ptr<ServerFrm> window;
};

// "Poner a la escucha" with the port field set to the given port.
void listenOn(WindowUnderTest& w, quint16 port);
// Chooses TCP and listens on a port nothing else holds; returns that port.
quint16 listenUnderTcp(WindowUnderTest& w);
