#pragma once

#include "app/ServerFrm.h"
#include "support/RecordingMessages.h"

#include <memory>

// The real window, shown offscreen, with its messages recorded.
struct WindowUnderTest {
    WindowUnderTest();
    ~WindowUnderTest();

    ServerFrm& operator*() { return *window; }
    ServerFrm* operator->() { return window.get(); }

    RecordingMessages* messages = nullptr;
    std::unique_ptr<ServerFrm> window;
};
