#include "support/WindowUnderTest.h"

#include <QTest>

WindowUnderTest::WindowUnderTest()
{
    auto recorder = std::make_unique<RecordingMessages>();
    messages = recorder.get();
    ServerFrmPlatform platform;
    platform.messages = std::move(recorder);
    window = std::make_unique<ServerFrm>(std::move(platform));
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("the window under test was not exposed");
}

WindowUnderTest::~WindowUnderTest() = default;
